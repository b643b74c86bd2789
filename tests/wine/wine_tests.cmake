# The Wine suite: client programs built for Windows and the CTest steps that
# run them under Wine (label "wine"), in the prefix of the build's bitness.
# The steps share one prefix, so they run in order: setup registers,
# unregister cleans up and checks what remains.

set(QV_WINE_DIR ${PROJECT_SOURCE_DIR}/tests/wine)

add_executable(qv_com_client ${QV_WINE_DIR}/ComClient.cpp)
win32kit_target(qv_com_client)
win32kit_use_type_library(qv_com_client quillvane)
target_link_libraries(qv_com_client PRIVATE version)
target_link_options(qv_com_client PRIVATE -municode)
set_target_properties(qv_com_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})

add_executable(qv_binding_test ${QV_WINE_DIR}/BindingTest.cpp
                               ${PROJECT_SOURCE_DIR}/service/win32/ProcBinding.cpp
                               ${PROJECT_SOURCE_DIR}/service/win32/Win32Api.cpp
                               ${PROJECT_SOURCE_DIR}/service/win32/DispatchControl.cpp)
win32kit_target(qv_binding_test)
target_link_libraries(qv_binding_test PRIVATE quillvane_core)
set_target_properties(qv_binding_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})

enable_testing()
set(QV_WINE_STEP ${QV_WINE_DIR}/wine-step)
set(QV_WINE_STEPS vbscript client binding)
if(QV_WIN_BITS EQUAL 64)
  # In the WoW64 prefix: the 32-bit script host and the 32-bit binaries
  # beside the 64-bit ones.
  list(APPEND QV_WINE_STEPS vbscript32 side-by-side)
endif()
foreach(step setup ${QV_WINE_STEPS} unregister)
  add_test(NAME wine_${step} COMMAND ${QV_WINE_STEP} ${step} ${QV_WIN_BIN})
  set_tests_properties(wine_${step} PROPERTIES LABELS wine RESOURCE_LOCK wine_prefix TIMEOUT 120)
endforeach()
set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine_registered)
list(TRANSFORM QV_WINE_STEPS PREPEND wine_)
set_tests_properties(${QV_WINE_STEPS} PROPERTIES FIXTURES_REQUIRED wine_registered)
set_tests_properties(wine_unregister PROPERTIES FIXTURES_CLEANUP wine_registered)

# The automation boundary against any caller: the seeded Invoke fuzzer and
# the boundary's fault tests, on quillvane.dll and the stand-in, with the
# virtual drawer (tests/wine/run-with-drawer).
add_executable(qv_invoke_fuzz ${QV_WINE_DIR}/InvokeFuzzer.cpp)
win32kit_target(qv_invoke_fuzz)
target_link_options(qv_invoke_fuzz PRIVATE -municode)
set_target_properties(qv_invoke_fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})

set(QV_WITH_DRAWER ${QV_WINE_DIR}/run-with-drawer)
foreach(target service standin)
  add_test(NAME wine_invoke_fuzz_${target}
           COMMAND ${QV_WITH_DRAWER} ${QV_WIN_BIN} qv_invoke_fuzz.exe --target ${target}
                   --calls 20000)
endforeach()
set_tests_properties(wine_invoke_fuzz_service wine_invoke_fuzz_standin PROPERTIES
                     LABELS wine RUN_SERIAL TRUE RESOURCE_LOCK wine_prefix TIMEOUT 300
                     FIXTURES_REQUIRED wine_registered)

add_executable(qv_boundary_test ${QV_WINE_DIR}/BoundaryTest.cpp
                                ${PROJECT_SOURCE_DIR}/service/win32/DispatchControl.cpp)
win32kit_target(qv_boundary_test)
win32kit_use_type_library(qv_boundary_test quillvane)
win32kit_use_type_library(qv_boundary_test quillvane_control)
target_link_libraries(qv_boundary_test PRIVATE quillvane_core)
set_target_properties(qv_boundary_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})
add_test(NAME wine_boundary COMMAND ${QV_WITH_DRAWER} ${QV_WIN_BIN} qv_boundary_test.exe)
set_tests_properties(wine_boundary PROPERTIES LABELS wine RUN_SERIAL TRUE RESOURCE_LOCK wine_prefix
                     TIMEOUT 120 FIXTURES_REQUIRED wine_registered)
