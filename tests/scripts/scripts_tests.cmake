# Checks of the scripts under Wine (label "wine"): they never destroy what
# they did not make, the README's walkthrough runs as written, the demo leaves
# nothing behind, and quillvane.dll ignores a planted hid.dll unless the
# development switch names the program. Each shares the suite's prefix (or,
# for the walkthrough, makes one of its own), so they run one at a time.

set(QV_SCRIPT_CHECKS ${PROJECT_SOURCE_DIR}/tests/scripts)
enable_testing()
add_test(NAME scripts_foreign_prefix COMMAND ${QV_SCRIPT_CHECKS}/foreign-prefix ${QV_WIN_BIN})
add_test(NAME scripts_install_for COMMAND ${QV_SCRIPT_CHECKS}/install-for ${QV_WIN_BIN})
add_test(NAME scripts_readme_walkthrough
         COMMAND ${QV_SCRIPT_CHECKS}/readme-walkthrough ${CMAKE_BINARY_DIR})
add_test(NAME scripts_demo_leaves_nothing COMMAND ${QV_SCRIPT_CHECKS}/demo-leaves-nothing)
add_test(NAME virtual_drawer_e2e-planted
         COMMAND ${PROJECT_SOURCE_DIR}/virtual-drawer/tests/run-wine-test e2e-planted ${QV_WIN_BIN})
set_tests_properties(scripts_foreign_prefix scripts_install_for scripts_readme_walkthrough
                     scripts_demo_leaves_nothing virtual_drawer_e2e-planted PROPERTIES
                     LABELS wine RUN_SERIAL TRUE RESOURCE_LOCK wine_prefix TIMEOUT 240)
