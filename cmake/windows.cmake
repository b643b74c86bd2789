# The Windows binaries, cross-built with cmake/mingw-i686.cmake (32-bit,
# build/windows) or cmake/mingw-x86_64.cmake (64-bit, build/windows64): the
# toolkit and its build rules (win32kit/win32kit.cmake), then each Windows
# piece with its own build file, and the Wine suite (CTest label "wine"),
# which runs the 32-bit binaries in the 32-bit prefix and the 64-bit ones in
# the WoW64 prefix.

set(QV_WIN_BIN ${CMAKE_BINARY_DIR}/bin)
if(NOT QV_WIDL)
  message(FATAL_ERROR "build the Windows binaries with cmake/mingw-i686.cmake or cmake/mingw-x86_64.cmake")
endif()

# The bitness being built: 32 or 64. Everything that differs between the two
# builds is chosen here, from this one value.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QV_WIN_BITS 64)
  set(QV_WINE_WINDOWS_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
  set(QV_WINEARCH win64)
  # The 64-bit suite runs the 32-bit binaries beside its own (registration
  # of both, a 32-bit script host, both on one virtual drawer).
  set(QV_WIN32_BIN ${CMAKE_BINARY_DIR}/../windows/bin CACHE PATH
      "The 32-bit binaries (build/windows/bin), which the 64-bit Wine suite uses too")
else()
  set(QV_WIN_BITS 32)
  set(QV_WINE_WINDOWS_DIR /usr/lib/i386-linux-gnu/wine/i386-windows)
  set(QV_WINEARCH win32)
endif()

# Statically linked runtime: the binaries import system DLLs only.
set(QV_WIN_LINK_OPTIONS -static -static-libgcc -static-libstdc++ -Wl,--enable-stdcall-fixup
                         $<$<CONFIG:Release>:-s>)
set(QV_WIN_DEFINITIONS _WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN UNICODE _UNICODE)

include(${PROJECT_SOURCE_DIR}/win32kit/win32kit.cmake)
include(${PROJECT_SOURCE_DIR}/service/win32/service.cmake)
include(${PROJECT_SOURCE_DIR}/standin/standin.cmake)
include(${PROJECT_SOURCE_DIR}/tester/win32/tester.cmake)
include(${PROJECT_SOURCE_DIR}/provision/win32/provision.cmake)
include(${PROJECT_SOURCE_DIR}/virtual-drawer/virtual_drawer.cmake)
include(${PROJECT_SOURCE_DIR}/tests/wine/wine_tests.cmake)
include(${PROJECT_SOURCE_DIR}/packaging/packaging.cmake)
if(QV_WIN_BITS EQUAL 32)
  # The scripts' own checks need not run twice.
  include(${PROJECT_SOURCE_DIR}/tests/scripts/scripts_tests.cmake)
endif()

# Every Wine test of this tree runs in the prefix of its bitness
# (scripts/wine-env: QV_WINEARCH); the 64-bit ones know the 32-bit binaries.
get_property(QV_WIN_TESTS DIRECTORY PROPERTY TESTS)
foreach(test ${QV_WIN_TESTS})
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT QV_WINEARCH=${QV_WINEARCH})
  if(QV_WIN32_BIN)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT QV_WIN32_BIN=${QV_WIN32_BIN})
  endif()
endforeach()
