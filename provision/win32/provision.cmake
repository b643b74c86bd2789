# qvprovision.exe: the provisioning tool over the portable commands, with
# its manifest, and its test under Wine (CTest label "wine"). Included by
# cmake/windows.cmake.

set(QVP_DIR ${PROJECT_SOURCE_DIR}/provision/win32)

win32kit_resources(QVP_RESOURCES ${QVP_DIR}/qvprovision.rc INCLUDE_DIRS ${QVP_DIR}
                   DEPENDS ${QVP_DIR}/qvprovision.manifest)
file(GLOB QVP_SOURCES CONFIGURE_DEPENDS ${QVP_DIR}/*.cpp)
add_executable(qvprovision ${QVP_SOURCES} ${QVP_RESOURCES})
set_target_properties(qvprovision PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})
win32kit_target(qvprovision)
target_link_libraries(qvprovision PRIVATE qvprovision_logic advapi32 setupapi hid)
target_link_options(qvprovision PRIVATE -municode)

# The Wine test: every command against the prefix's registry, a device made
# here opened by quillvane.dll on the virtual drawer, and a read-only key.
add_executable(qvprovision_readonly ${PROJECT_SOURCE_DIR}/provision/tests/ReadOnlyKey.cpp)
set_target_properties(qvprovision_readonly PROPERTIES OUTPUT_NAME qvprovision-readonly
                                                      RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})
win32kit_target(qvprovision_readonly)
target_link_libraries(qvprovision_readonly PRIVATE advapi32)
target_link_options(qvprovision_readonly PRIVATE -municode)

enable_testing()
# Shares the suite's prefix: after the suite's setup, which registers
# quillvane.dll, and before its cleanup, which checks that nothing of it
# stays registered. It starts its own simulator, so it runs alone.
add_test(NAME provision_wine COMMAND ${PROJECT_SOURCE_DIR}/provision/tests/run-wine-test ${QV_WIN_BIN})
set_tests_properties(provision_wine PROPERTIES
                     LABELS wine RUN_SERIAL TRUE TIMEOUT 120
                     RESOURCE_LOCK wine_prefix FIXTURES_REQUIRED wine_registered)
