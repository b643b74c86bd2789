# The product version, from the VERSION file at the top of the tree: the one
# place it is written. It has the form major.minor.0.build (1.2.0.1), the
# form of the version resources; from it come
#   - the fixed version of every binary's version resource (1,2,0,1) and its
#     text ("1.02.0001"),
#   - the number the standard uses for a service object's version,
#     major * 1000000 + minor * 1000 + build (1002001), which the
#     provisioning tool writes as a device's default "Version",
#   - the installer's ProductVersion major.minor.build (1.2.1), since Windows
#     Installer compares only the first three fields (scripts/package reads
#     the VERSION file the same way).
# The generated header quillvane_version.h carries them to C++ and to the
# resource scripts; link quillvane_version to see it.

file(STRINGS ${PROJECT_SOURCE_DIR}/VERSION QV_VERSION LIMIT_COUNT 1)
if(NOT QV_VERSION MATCHES "^(0|[1-9][0-9]*)\\.(0|[1-9][0-9]*)\\.0\\.(0|[1-9][0-9]*)$")
  message(FATAL_ERROR "VERSION must read major.minor.0.build (e.g. 1.2.0.1, no leading zeros), not '${QV_VERSION}'")
endif()
set(QV_VERSION_MAJOR ${CMAKE_MATCH_1})
set(QV_VERSION_MINOR ${CMAKE_MATCH_2})
set(QV_VERSION_BUILD ${CMAKE_MATCH_3})
# The standard's number keeps minor and build below 1000; the text keeps
# minor in two digits and build in four.
if(QV_VERSION_MAJOR GREATER 2146 OR QV_VERSION_MINOR GREATER 99 OR QV_VERSION_BUILD GREATER 999)
  message(FATAL_ERROR "VERSION ${QV_VERSION}: major up to 2146, minor up to 99, build up to 999")
endif()
math(EXPR QV_VERSION_OPOS "${QV_VERSION_MAJOR} * 1000000 + ${QV_VERSION_MINOR} * 1000 + ${QV_VERSION_BUILD}")
string(LENGTH "${QV_VERSION_MINOR}" minor_digits)
string(LENGTH "${QV_VERSION_BUILD}" build_digits)
math(EXPR minor_pad "2 - ${minor_digits}")
math(EXPR build_pad "4 - ${build_digits}")
string(REPEAT 0 ${minor_pad} minor_zeros)
string(REPEAT 0 ${build_pad} build_zeros)
set(QV_VERSION_TEXT ${QV_VERSION_MAJOR}.${minor_zeros}${QV_VERSION_MINOR}.${build_zeros}${QV_VERSION_BUILD})

set(QV_VERSION_DIR ${CMAKE_BINARY_DIR}/generated/version)
configure_file(${PROJECT_SOURCE_DIR}/cmake/quillvane_version.h.in
               ${QV_VERSION_DIR}/quillvane_version.h @ONLY)
add_library(quillvane_version INTERFACE)
target_include_directories(quillvane_version INTERFACE ${QV_VERSION_DIR})
