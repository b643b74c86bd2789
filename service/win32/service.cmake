# quillvane.dll: the automation frame and the Win32 binding over the portable
# core, an in-process server of the toolkit (win32kit_inproc_server).
# Included by cmake/windows.cmake.

file(GLOB QV_FRAME_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/service/win32/*.cpp)
win32kit_inproc_server(quillvane
  IDL ${PROJECT_SOURCE_DIR}/service/win32/quillvane.idl
  RC ${PROJECT_SOURCE_DIR}/service/win32/quillvane.rc
  SOURCES ${QV_FRAME_SOURCES})
target_link_libraries(quillvane PRIVATE quillvane_core)
