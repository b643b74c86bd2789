# qvprovision.exe: the provisioning tool over the portable commands, with
# its manifest, and its test under Wine (CTest label "wine"). Included by
# the Windows build after cmake/windows.cmake.

set(QVP_DIR ${PROJECT_SOURCE_DIR}/provision/win32)
set(QVP_GENERATED ${CMAKE_BINARY_DIR}/generated/provision)
file(MAKE_DIRECTORY ${QVP_GENERATED})

add_custom_command(
  OUTPUT ${QVP_GENERATED}/qvprovision_res.o
  COMMAND ${CMAKE_RC_COMPILER} -O coff --include-dir=${QVP_DIR} -i ${QVP_DIR}/qvprovision.rc
          -o ${QVP_GENERATED}/qvprovision_res.o
  DEPENDS ${QVP_DIR}/qvprovision.rc ${QVP_DIR}/qvprovision.manifest
  COMMENT "windres qvprovision.rc"
  VERBATIM)

file(GLOB QVP_SOURCES CONFIGURE_DEPENDS ${QVP_DIR}/*.cpp)
add_executable(qvprovision ${QVP_SOURCES} ${QVP_GENERATED}/qvprovision_res.o)
set_target_properties(qvprovision PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_WIN_BIN})
target_include_directories(qvprovision PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(qvprovision PRIVATE ${QV_WIN_DEFINITIONS})
target_link_libraries(qvprovision PRIVATE qvprovision_logic advapi32 setupapi hid)
target_link_options(qvprovision PRIVATE ${QV_WIN_LINK_OPTIONS} -municode)

