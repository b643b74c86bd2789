# The control object stand-in: quillvane_control.dll with its type library,
# resources and four exports, and its Wine test (CTest label "wine").
# Included by the Windows build after cmake/windows.cmake.

set(QV_STANDIN_DIR ${PROJECT_SOURCE_DIR}/contract/standin)
set(QV_STANDIN_GENERATED ${CMAKE_BINARY_DIR}/generated/standin)
file(MAKE_DIRECTORY ${QV_STANDIN_GENERATED})

add_custom_command(
  OUTPUT ${QV_STANDIN_GENERATED}/quillvane_control.tlb ${QV_STANDIN_GENERATED}/quillvane_control_h.h
  # widl ignores -o when it writes the header and the library in one run.
  COMMAND ${QV_WIDL} --win32 -I${QV_WINE_IDL_DIR} -L ${QV_WINE_TLB_DIR} -h
          -H ${QV_STANDIN_GENERATED}/quillvane_control_h.h ${QV_STANDIN_DIR}/quillvane_control.idl
  COMMAND ${QV_WIDL} --win32 -I${QV_WINE_IDL_DIR} -L ${QV_WINE_TLB_DIR} -t
          -o ${QV_STANDIN_GENERATED}/quillvane_control.tlb ${QV_STANDIN_DIR}/quillvane_control.idl
  DEPENDS ${QV_STANDIN_DIR}/quillvane_control.idl
  COMMENT "widl quillvane_control.idl"
  VERBATIM)

add_custom_command(
  OUTPUT ${QV_STANDIN_GENERATED}/quillvane_control_res.o
  COMMAND ${CMAKE_RC_COMPILER} -O coff --include-dir=${QV_STANDIN_GENERATED}
          -i ${QV_STANDIN_DIR}/quillvane_control.rc -o ${QV_STANDIN_GENERATED}/quillvane_control_res.o
  DEPENDS ${QV_STANDIN_DIR}/quillvane_control.rc ${QV_STANDIN_GENERATED}/quillvane_control.tlb
  COMMENT "windres quillvane_control.rc"
  VERBATIM)
add_custom_target(quillvane_control_generated
  DEPENDS ${QV_STANDIN_GENERATED}/quillvane_control_h.h
          ${QV_STANDIN_GENERATED}/quillvane_control_res.o)

# The automation boundary, and the frame's module bookkeeping,
# self-registration, error reporting and type-library dispatch serve the
# stand-in as they serve quillvane.dll.
file(GLOB QV_STANDIN_SOURCES CONFIGURE_DEPENDS ${QV_STANDIN_DIR}/*.cpp)
add_library(quillvane_control SHARED
  ${QV_STANDIN_SOURCES}
  ${PROJECT_SOURCE_DIR}/service/RuntimeError.cpp
  ${PROJECT_SOURCE_DIR}/service/win32/Module.cpp
  ${PROJECT_SOURCE_DIR}/service/win32/Registration.cpp
  ${PROJECT_SOURCE_DIR}/service/win32/DispatchArguments.cpp
  ${PROJECT_SOURCE_DIR}/service/win32/ErrorInfo.cpp
  ${PROJECT_SOURCE_DIR}/service/win32/TypeInfoDispatch.cpp
  ${QV_STANDIN_DIR}/quillvane_control.def
  ${QV_STANDIN_GENERATED}/quillvane_control_res.o)
add_dependencies(quillvane_control quillvane_control_generated)
set_target_properties(quillvane_control PROPERTIES
  PREFIX ""
  OUTPUT_NAME quillvane_control
  RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN}
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
target_include_directories(quillvane_control PRIVATE ${PROJECT_SOURCE_DIR} ${QV_STANDIN_GENERATED})
target_compile_definitions(quillvane_control PRIVATE ${QV_WIN_DEFINITIONS})
target_link_libraries(quillvane_control PRIVATE ole32 oleaut32 uuid)
target_link_options(quillvane_control PRIVATE ${QV_WIN_LINK_OPTIONS})

# The Wine test: a client that drives the stand-in against quillvane.dll and
# against a service object of its own that records every call.
file(GLOB QV_STANDIN_TEST_SOURCES CONFIGURE_DEPENDS ${QV_STANDIN_DIR}/tests/*.cpp)
add_executable(standin_client ${QV_STANDIN_TEST_SOURCES} ${QV_STANDIN_DIR}/ServiceLink.cpp
                              ${PROJECT_SOURCE_DIR}/virtual-drawer/win/ControlClient.cpp)
add_dependencies(standin_client quillvane_control_generated)
set_target_properties(standin_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})
target_include_directories(standin_client PRIVATE ${PROJECT_SOURCE_DIR} ${QV_STANDIN_GENERATED})
target_compile_definitions(standin_client PRIVATE ${QV_WIN_DEFINITIONS})
target_link_libraries(standin_client PRIVATE ole32 oleaut32 uuid)
target_link_options(standin_client PRIVATE ${QV_WIN_LINK_OPTIONS})

enable_testing()
# Both share the suite's prefix: after the suite's setup (which registers
# quillvane.dll) and before its cleanup (which checks that nothing named
# quillvane stays registered). The second drives the virtual drawer.
add_test(NAME standin_wine COMMAND bash ${QV_STANDIN_DIR}/tests/run_standin_tests.sh ${QV_WIN_BIN})
add_test(NAME standin_wine_virtual_drawer
         COMMAND bash ${QV_STANDIN_DIR}/tests/run_standin_tests.sh ${QV_WIN_BIN} virtual-drawer)
set_tests_properties(standin_wine standin_wine_virtual_drawer PROPERTIES
                     LABELS wine RUN_SERIAL TRUE TIMEOUT 120
                     RESOURCE_LOCK wine_prefix FIXTURES_REQUIRED wine_registered)
