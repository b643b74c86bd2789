# The Brindlemark window under Wine and Xvfb: a driver program that works the
# window from another process, and the CTest steps that run it (label "wine").
# Included from tester/win32/tester.cmake.

set(BM_GUI_DIR ${PROJECT_SOURCE_DIR}/tests/gui)

add_executable(brindlemark_driver ${BM_GUI_DIR}/BrindlemarkDriver.cpp)
set_target_properties(brindlemark_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})
win32kit_target(brindlemark_driver)
target_link_libraries(brindlemark_driver PRIVATE brindlemark_logic user32 gdi32 version)
target_link_options(brindlemark_driver PRIVATE -municode)

enable_testing()
foreach(step layout session)
  add_test(NAME brindlemark_${step}
           COMMAND bash ${BM_GUI_DIR}/run-gui-test ${step} ${QV_WIN_BIN} ${CMAKE_BINARY_DIR}/gui)
  set_tests_properties(brindlemark_${step} PROPERTIES LABELS wine RUN_SERIAL TRUE TIMEOUT 180)
endforeach()
