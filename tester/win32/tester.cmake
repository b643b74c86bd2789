# Brindlemark.exe: the tester window over the portable command logic, with
# its version resource, and its tests under Wine and Xvfb (CTest label "wine").
# Included by cmake/windows.cmake.

set(BM_DIR ${PROJECT_SOURCE_DIR}/tester/win32)

win32kit_resources(BM_RESOURCES ${BM_DIR}/Brindlemark.rc)
file(GLOB BM_SOURCES CONFIGURE_DEPENDS ${BM_DIR}/*.cpp)
add_executable(Brindlemark WIN32 ${BM_SOURCES} ${BM_RESOURCES})
set_target_properties(Brindlemark PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})
win32kit_target(Brindlemark)
target_link_libraries(Brindlemark PRIVATE brindlemark_logic advapi32 gdi32 user32)
target_link_options(Brindlemark PRIVATE -municode)

include(${PROJECT_SOURCE_DIR}/tests/gui/gui_tests.cmake)
