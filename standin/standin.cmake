# The control object stand-in: quillvane_control.dll, an in-process server
# of the toolkit (win32kit_inproc_server), and its Wine test (CTest label
# "wine"). Included by cmake/windows.cmake.

set(QV_STANDIN_DIR ${PROJECT_SOURCE_DIR}/standin)

file(GLOB QV_STANDIN_SOURCES CONFIGURE_DEPENDS ${QV_STANDIN_DIR}/*.cpp)
win32kit_inproc_server(quillvane_control
  IDL ${QV_STANDIN_DIR}/quillvane_control.idl
  RC ${QV_STANDIN_DIR}/quillvane_control.rc
  SOURCES ${QV_STANDIN_SOURCES})

# The Wine test: a client that drives the stand-in against quillvane.dll and
# against a service object of its own that records every call.
file(GLOB QV_STANDIN_TEST_SOURCES CONFIGURE_DEPENDS ${QV_STANDIN_DIR}/tests/*.cpp)
add_executable(standin_client ${QV_STANDIN_TEST_SOURCES}
                              ${PROJECT_SOURCE_DIR}/virtual-drawer/win/ControlClient.cpp)
win32kit_target(standin_client)
win32kit_use_type_library(standin_client quillvane_control)
set_target_properties(standin_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})

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
