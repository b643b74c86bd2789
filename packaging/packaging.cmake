# The release packages' tests (CTest label "wine"; scripts/package makes the
# packages). Included by cmake/windows.cmake: each tree tests the packages of
# its bitness under Wine, in a fresh prefix of their own; the 32-bit tree
# also tests signing and that two build trees give the same packages.

enable_testing()
set(QV_PACKAGING_TESTS ${PROJECT_SOURCE_DIR}/packaging/tests)
add_test(NAME package_wine COMMAND ${QV_PACKAGING_TESTS}/run-wine-test ${QV_WIN_BIN})
set_tests_properties(package_wine PROPERTIES LABELS wine RUN_SERIAL TRUE TIMEOUT 300)
if(QV_WIN_BITS EQUAL 32)
  add_test(NAME package_signing COMMAND ${QV_PACKAGING_TESTS}/signing ${QV_WIN_BIN})
  add_test(NAME package_reproducible
           COMMAND ${QV_PACKAGING_TESTS}/reproducible ${QV_WIN_BIN} ${CMAKE_BINARY_DIR}/../windows64/bin)
  set_tests_properties(package_signing PROPERTIES LABELS wine TIMEOUT 120)
  set_tests_properties(package_reproducible PROPERTIES LABELS wine RUN_SERIAL TRUE TIMEOUT 900)
endif()
