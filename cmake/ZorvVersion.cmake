# The release's version, read from the VERSION file at the root: the
# component's version record, the SDK's package version, the archives'
# names and the tests' expectations all follow from it.
#   ZORV_VERSION        a.b.c.d
#   ZORV_SDK_REQUEST    a.b, what an author's find_package(ZorvSDK a.b) asks for
# The four numbers are those a Windows version record holds (each at most
# 65535), so the component can carry the release's version as it is.
set(_zorv_version_file ${CMAKE_CURRENT_LIST_DIR}/../VERSION)
file(STRINGS ${_zorv_version_file} ZORV_VERSION LIMIT_COUNT 1)
string(STRIP "${ZORV_VERSION}" ZORV_VERSION)
if(NOT ZORV_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "VERSION must hold four numbers a.b.c.d on its first line, not \"${ZORV_VERSION}\"")
endif()
set(ZORV_SDK_REQUEST ${CMAKE_MATCH_1}.${CMAKE_MATCH_2})
# A new version reconfigures the build.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_zorv_version_file})
unset(_zorv_version_file)
