# Brindlemark.exe: the tester window over the portable command logic, with
# its version resource, and its tests under Wine and Xvfb (CTest label "wine").
# Included by the Windows build after cmake/windows.cmake.

set(BM_DIR ${PROJECT_SOURCE_DIR}/tester/win32)
set(BM_GENERATED ${CMAKE_BINARY_DIR}/generated/tester)
file(MAKE_DIRECTORY ${BM_GENERATED})

add_custom_command(
  OUTPUT ${BM_GENERATED}/Brindlemark_res.o
  COMMAND ${CMAKE_RC_COMPILER} -O coff -i ${BM_DIR}/Brindlemark.rc -o ${BM_GENERATED}/Brindlemark_res.o
  DEPENDS ${BM_DIR}/Brindlemark.rc
  COMMENT "windres Brindlemark.rc"
  VERBATIM)

file(GLOB BM_SOURCES CONFIGURE_DEPENDS ${BM_DIR}/*.cpp)
add_executable(Brindlemark WIN32 ${BM_SOURCES} ${BM_GENERATED}/Brindlemark_res.o)
set_target_properties(Brindlemark PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})
target_include_directories(Brindlemark PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(Brindlemark PRIVATE ${QV_WIN_DEFINITIONS})
target_link_libraries(Brindlemark PRIVATE brindlemark_logic ole32 oleaut32 uuid advapi32 gdi32 user32)
target_link_options(Brindlemark PRIVATE ${QV_WIN_LINK_OPTIONS} -municode)

include(${PROJECT_SOURCE_DIR}/tests/gui/gui_tests.cmake OPTIONAL)
