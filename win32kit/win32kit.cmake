# The Windows toolkit as a library, and the one build rule of each kind that
# every Windows piece uses: a type library from IDL (widl), resources (windres),
# a DLL exporting exactly its .def file, and an in-process automation server
# made of those, for the bitness being built (QV_WIN_BITS, 32 or 64).
# Included by cmake/windows.cmake, which sets QV_WIDL, QV_WIN_BITS,
# QV_WINE_WINDOWS_DIR, QV_WIN_DEFINITIONS, QV_WIN_LINK_OPTIONS and QV_WIN_BIN
# first.

set(WIN32KIT_DIR ${PROJECT_SOURCE_DIR}/win32kit)
set(WIN32KIT_GENERATED ${CMAKE_BINARY_DIR}/generated)
set(QV_WINE_IDL_DIR /usr/include/wine/wine/windows CACHE PATH "Wine's IDL files (oaidl.idl)")
set(QV_WINE_TLB_DIR ${QV_WINE_WINDOWS_DIR} CACHE PATH "Where stdole2.tlb of this bitness is")
# widl's record and pointer sizes, and the type library's SYSKIND.
set(WIN32KIT_WIDL_TARGET --win${QV_WIN_BITS})
# The platform a version resource names (FILEOS QV_FILEOS): 32-bit Windows,
# or for a 64-bit binary the NT Win32 platform, the value 64-bit Windows
# binaries carry (no FILEOS value names 64 bits; the PE header does).
if(QV_WIN_BITS EQUAL 64)
  set(WIN32KIT_FILEOS VOS_NT_WINDOWS32)
else()
  set(WIN32KIT_FILEOS VOS__WINDOWS32)
endif()

# The exports are compiled into each server (they serve its kInprocServer).
file(GLOB WIN32KIT_SOURCES CONFIGURE_DEPENDS ${WIN32KIT_DIR}/*.cpp)
list(REMOVE_ITEM WIN32KIT_SOURCES ${WIN32KIT_DIR}/InprocServer.cpp)
add_library(win32kit STATIC ${WIN32KIT_SOURCES})
target_include_directories(win32kit PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(win32kit PUBLIC ${QV_WIN_DEFINITIONS})
target_link_libraries(win32kit PUBLIC quillvane_contract ole32 oleaut32 uuid)

# win32kit_target(<target>): a Windows program or DLL of ours, on the
# toolkit, with the statically linked runtime (it imports system DLLs only).
function(win32kit_target target)
  target_link_libraries(${target} PRIVATE win32kit)
  target_link_options(${target} PRIVATE ${QV_WIN_LINK_OPTIONS})
endfunction()

# win32kit_type_library(<name> <idl>): generated/<name>/<name>.tlb and the C++
# declarations generated/<name>/<name>_h.h, made by the target <name>_typelib.
function(win32kit_type_library name idl)
  set(out ${WIN32KIT_GENERATED}/${name})
  file(MAKE_DIRECTORY ${out})
  add_custom_command(
    OUTPUT ${out}/${name}.tlb ${out}/${name}_h.h
    # widl ignores -o when it writes the header and the library in one run.
    COMMAND ${QV_WIDL} ${WIN32KIT_WIDL_TARGET} -I${QV_WINE_IDL_DIR} -L ${QV_WINE_TLB_DIR} -h
            -H ${out}/${name}_h.h ${idl}
    COMMAND ${QV_WIDL} ${WIN32KIT_WIDL_TARGET} -I${QV_WINE_IDL_DIR} -L ${QV_WINE_TLB_DIR} -t
            -o ${out}/${name}.tlb ${idl}
    # widl stamps the time of the build into the library: a fixed one instead.
    COMMAND ${WIN32KIT_DIR}/fix-tlb-date ${out}/${name}.tlb
    DEPENDS ${idl} ${WIN32KIT_DIR}/fix-tlb-date
    COMMENT "widl ${name}.idl"
    VERBATIM)
  add_custom_target(${name}_typelib DEPENDS ${out}/${name}.tlb ${out}/${name}_h.h)
endfunction()

# win32kit_use_type_library(<target> <name>): the target includes <name>_h.h.
function(win32kit_use_type_library target name)
  add_dependencies(${target} ${name}_typelib)
  target_include_directories(${target} PRIVATE ${WIN32KIT_GENERATED}/${name})
endfunction()

# win32kit_resources(<var> <rc> [INCLUDE_DIRS dirs...] [DEPENDS files...]):
# compiles the resource script; <var> names the object to link. The script
# may include quillvane_version.h (cmake/Version.cmake).
function(win32kit_resources var rc)
  cmake_parse_arguments(ARG "" "" "INCLUDE_DIRS;DEPENDS" ${ARGN})
  get_filename_component(name ${rc} NAME_WE)
  set(object ${WIN32KIT_GENERATED}/${name}_res.o)
  set(includes)
  foreach(dir ${ARG_INCLUDE_DIRS})
    list(APPEND includes --include-dir=${dir})
  endforeach()
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${CMAKE_RC_COMPILER} -O coff -DQV_WIN_BITS=${QV_WIN_BITS} -DQV_FILEOS=${WIN32KIT_FILEOS}
            --include-dir=${QV_VERSION_DIR} ${includes} -i ${rc} -o ${object}
    DEPENDS ${rc} ${QV_VERSION_DIR}/quillvane_version.h ${ARG_DEPENDS}
    COMMENT "windres ${name}.rc"
    VERBATIM)
  set(${var} ${object} PARENT_SCOPE)
endfunction()

# win32kit_def_dll(<target> <def> <sources...>): a DLL named <target>.dll
# (no lib prefix) that exports exactly the names of the .def file, without
# decoration.
function(win32kit_def_dll target def)
  add_library(${target} SHARED ${ARGN} ${def})
  set_target_properties(${target} PROPERTIES PREFIX "" ARCHIVE_OUTPUT_DIRECTORY
                                                       ${CMAKE_BINARY_DIR}/lib)
  win32kit_target(${target})
endfunction()

# win32kit_inproc_server(<target> IDL <idl> RC <rc> SOURCES <sources...>):
# an in-process automation server <target>.dll in bin/: its type library
# (declarations included as <idl name>_h.h), its resources with the type
# library as TYPELIB 1, and the toolkit's four exports over the
# kInprocServer its sources define.
function(win32kit_inproc_server target)
  cmake_parse_arguments(ARG "" "IDL;RC" "SOURCES" ${ARGN})
  get_filename_component(name ${ARG_IDL} NAME_WE)
  win32kit_type_library(${name} ${ARG_IDL})
  win32kit_resources(resources ${ARG_RC} INCLUDE_DIRS ${WIN32KIT_GENERATED}/${name}
                     DEPENDS ${WIN32KIT_GENERATED}/${name}/${name}.tlb)
  win32kit_def_dll(${target} ${WIN32KIT_DIR}/InprocServer.def ${ARG_SOURCES}
                   ${WIN32KIT_DIR}/InprocServer.cpp ${resources})
  win32kit_use_type_library(${target} ${name})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})
endfunction()
