# The Windows binaries, cross-built with cmake/mingw-i686.cmake:
# quillvane.dll with its type library, resources and four exports, and the
# client programs of the Wine suite (CTest label "wine").

set(QV_WIN_BIN ${CMAKE_BINARY_DIR}/bin)
set(QV_GENERATED ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${QV_GENERATED})

set(QV_WINE_IDL_DIR /usr/include/wine/wine/windows CACHE PATH "Wine's IDL files (oaidl.idl)")
set(QV_WINE_TLB_DIR /usr/lib/i386-linux-gnu/wine/i386-windows CACHE PATH "Where stdole2.tlb is")
if(NOT QV_WIDL)
  set(QV_WIDL i686-w64-mingw32-widl)
endif()

# Statically linked runtime: the binaries import system DLLs only.
set(QV_WIN_LINK_OPTIONS -static -static-libgcc -static-libstdc++ -Wl,--enable-stdcall-fixup
                         $<$<CONFIG:Release>:-s>)
set(QV_WIN_DEFINITIONS _WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN UNICODE _UNICODE)

# Type library and the C++ declarations of _CashDrawer.
set(QV_IDL ${PROJECT_SOURCE_DIR}/service/win32/quillvane.idl)
add_custom_command(
  OUTPUT ${QV_GENERATED}/quillvane.tlb ${QV_GENERATED}/quillvane_h.h
  # widl ignores -o when it writes the header and the library in one run.
  COMMAND ${QV_WIDL} --win32 -I${QV_WINE_IDL_DIR} -L ${QV_WINE_TLB_DIR} -h
          -H ${QV_GENERATED}/quillvane_h.h ${QV_IDL}
  COMMAND ${QV_WIDL} --win32 -I${QV_WINE_IDL_DIR} -L ${QV_WINE_TLB_DIR} -t
          -o ${QV_GENERATED}/quillvane.tlb ${QV_IDL}
  DEPENDS ${QV_IDL}
  COMMENT "widl quillvane.idl"
  VERBATIM)

# Resources: TYPELIB 1 and the version block.
set(QV_RC ${PROJECT_SOURCE_DIR}/service/win32/quillvane.rc)
add_custom_command(
  OUTPUT ${QV_GENERATED}/quillvane_res.o
  COMMAND ${CMAKE_RC_COMPILER} -O coff --include-dir=${QV_GENERATED} -i ${QV_RC}
          -o ${QV_GENERATED}/quillvane_res.o
  DEPENDS ${QV_RC} ${QV_GENERATED}/quillvane.tlb
  COMMENT "windres quillvane.rc"
  VERBATIM)
add_custom_target(quillvane_generated DEPENDS ${QV_GENERATED}/quillvane_h.h
                                              ${QV_GENERATED}/quillvane_res.o)

file(GLOB QV_FRAME_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/service/win32/*.cpp)
add_library(quillvane SHARED ${QV_FRAME_SOURCES} ${PROJECT_SOURCE_DIR}/service/win32/quillvane.def
                             ${QV_GENERATED}/quillvane_res.o)
add_dependencies(quillvane quillvane_generated)
set_target_properties(quillvane PROPERTIES
  PREFIX ""
  OUTPUT_NAME quillvane
  RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN}
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
target_include_directories(quillvane PRIVATE ${PROJECT_SOURCE_DIR} ${QV_GENERATED})
target_compile_definitions(quillvane PRIVATE ${QV_WIN_DEFINITIONS})
target_link_libraries(quillvane PRIVATE quillvane_core ole32 oleaut32 uuid)
target_link_options(quillvane PRIVATE ${QV_WIN_LINK_OPTIONS})

include(${PROJECT_SOURCE_DIR}/tests/wine/wine_tests.cmake OPTIONAL)
