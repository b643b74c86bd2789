# The virtual drawer: a simulated USB cash drawer the unchanged quillvane.dll
# drives under Wine. Binaries land in bin/virtual-drawer/: the simulator
# virtual-drawer.exe, the replacement DLLs in dlls/ (copied next to a program
# by install-for), and the programs of the Wine tests and measurements.

set(VD_DIR ${PROJECT_SOURCE_DIR}/virtual-drawer)
set(VD_BIN ${QV_WIN_BIN}/virtual-drawer)

# The simulator and its control command, with the one drawer model of sim/.
add_executable(vd_simulator
  ${VD_DIR}/simulator/Main.cpp
  ${VD_DIR}/simulator/Simulator.cpp
  ${VD_DIR}/win/ControlClient.cpp
  ${PROJECT_SOURCE_DIR}/sim/DrawerModel.cpp
  ${PROJECT_SOURCE_DIR}/sim/DrawerReports.cpp)
win32kit_target(vd_simulator)
set_target_properties(vd_simulator PROPERTIES OUTPUT_NAME virtual-drawer
                                              RUNTIME_OUTPUT_DIRECTORY ${VD_BIN})

# The replacement DLLs: undecorated exports from .def files, nothing else.
foreach(vd_dll hid setupapi)
  win32kit_def_dll(vd_${vd_dll} ${VD_DIR}/${vd_dll}/${vd_dll}.def ${VD_DIR}/${vd_dll}/${vd_dll}.cpp)
  set_target_properties(vd_${vd_dll} PROPERTIES
    OUTPUT_NAME ${vd_dll}
    RUNTIME_OUTPUT_DIRECTORY ${VD_BIN}/dlls
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/virtual-drawer)
endforeach()
target_link_libraries(vd_setupapi PRIVATE advapi32)

add_custom_target(virtual_drawer DEPENDS vd_simulator vd_hid vd_setupapi)

# Programs of the Wine tests.
add_executable(vd_probe ${VD_DIR}/probe/Probe.cpp ${VD_DIR}/win/ControlClient.cpp)
win32kit_target(vd_probe)
set_target_properties(vd_probe PROPERTIES OUTPUT_NAME vd-probe RUNTIME_OUTPUT_DIRECTORY ${VD_BIN})
add_dependencies(virtual_drawer vd_probe)

# A program that plays the control object against quillvane.dll.
function(vd_control_program target output)
  add_executable(${target} ${ARGN}
    ${VD_DIR}/client/RecordingControl.cpp ${VD_DIR}/client/ServiceObject.cpp
    ${VD_DIR}/client/Session.cpp ${VD_DIR}/client/DispatchWatch.cpp
    ${VD_DIR}/win/ControlClient.cpp)
  win32kit_target(${target})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output} RUNTIME_OUTPUT_DIRECTORY ${VD_BIN})
  add_dependencies(virtual_drawer ${target})
endfunction()
vd_control_program(vd_client vd-client ${VD_DIR}/client/EndToEnd.cpp
                   ${VD_DIR}/client/Faults.cpp ${VD_DIR}/client/Cycles.cpp
                   ${VD_DIR}/client/Reconnect.cpp)
target_link_libraries(vd_client PRIVATE shell32)

# The Wine tests: each starts its own simulator, so they run one at a time
# and never beside the other Wine steps that share the prefix.
enable_testing()
set(VD_FAULTS)
foreach(vd_fault unplug silence kill)
  list(APPEND VD_FAULTS e2e-fault-${vd_fault}-poll e2e-fault-${vd_fault}-wait)
endforeach()
set(VD_TESTS probe-dlls probe-reports e2e-lifecycle e2e-nomatch e2e-wait e2e-unplug ${VD_FAULTS}
             e2e-wait-after-pulse e2e-wait-quit e2e-inherit e2e-reopen e2e-reconnect e2e-cycles)
if(QV_WIN_BITS EQUAL 64)
  # A 32-bit and a 64-bit application on one drawer.
  list(APPEND VD_TESTS e2e-bitness)
endif()

foreach(vd_test ${VD_TESTS})
  add_test(NAME virtual_drawer_${vd_test}
           COMMAND ${VD_DIR}/tests/run-wine-test ${vd_test} ${QV_WIN_BIN})
  set_tests_properties(virtual_drawer_${vd_test} PROPERTIES
    LABELS wine RUN_SERIAL TRUE RESOURCE_LOCK wine_prefix TIMEOUT 240)
endforeach()

# The measurements (virtual-drawer/measure/run-measurements); not a test.
vd_control_program(vd_measure vd-measure ${VD_DIR}/measure/Measure.cpp)
