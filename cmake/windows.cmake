# The Windows binaries, cross-built with cmake/mingw-i686.cmake: the toolkit
# and its build rules (win32kit/win32kit.cmake), then each Windows piece with
# its own build file, and the Wine suite (CTest label "wine").

set(QV_WIN_BIN ${CMAKE_BINARY_DIR}/bin)
if(NOT QV_WIDL)
  set(QV_WIDL i686-w64-mingw32-widl)
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
include(${PROJECT_SOURCE_DIR}/tests/scripts/scripts_tests.cmake)
