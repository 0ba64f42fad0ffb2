# find_package(ZorvSDK): the framework and the stand-in text library as
# imported targets for the target being built (native, or 32-bit Windows
# with the SDK's toolchain file), zorv-host, and the functions
# zorv_add_component, zorv_add_validation and zorv_add_scenarios.
#   ZorvSDK::zorv_script_helper  ZorvSDK::zorv_string  ZorvSDK::zorv-host (native)
# The prefix from where this file really lies: a system package links
# PREFIX/lib/cmake/ZorvSDK from the folder CMake searches (/usr/lib/cmake).
get_filename_component(_zorv_sdk_cmake "${CMAKE_CURRENT_LIST_DIR}" REALPATH)
get_filename_component(ZORV_SDK_PREFIX "${_zorv_sdk_cmake}/../../.." ABSOLUTE)
unset(_zorv_sdk_cmake)
set(ZORV_SDK_TOOLCHAIN_FILE ${CMAKE_CURRENT_LIST_DIR}/toolchain-win32-clang-cl.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/ZorvPlatform.cmake)

if(NOT TARGET ZorvSDK::zorv_string)
  if(ZORV_WINDOWS_TARGET)
    set(_zorv_lib ${ZORV_SDK_PREFIX}/lib/win32)
    if(NOT EXISTS ${_zorv_lib}/zorv_string.dll)
      set(ZorvSDK_FOUND FALSE)
      set(ZorvSDK_NOT_FOUND_MESSAGE "this SDK has no Windows part (${_zorv_lib}/zorv_string.dll missing)")
      return()
    endif()
    set(ZORV_WIN32_DIR ${ZORV_SDK_PREFIX}/share/zorv/win32)
    include(${CMAKE_CURRENT_LIST_DIR}/ZorvWindows.cmake)
    add_library(ZorvSDK::zorv_string SHARED IMPORTED)
    set_target_properties(ZorvSDK::zorv_string PROPERTIES
      IMPORTED_LOCATION ${_zorv_lib}/zorv_string.dll
      IMPORTED_IMPLIB ${_zorv_lib}/zorv_string.lib)
    add_library(ZorvSDK::zorv_records STATIC IMPORTED)
    set_target_properties(ZorvSDK::zorv_records PROPERTIES IMPORTED_LOCATION ${_zorv_lib}/zorv_records.lib)
    add_library(ZorvSDK::zorv_script_helper STATIC IMPORTED)
    set_target_properties(ZorvSDK::zorv_script_helper PROPERTIES IMPORTED_LOCATION ${_zorv_lib}/zorv_script_helper.lib)
    set(ZORV_HOST_EXE ${ZORV_SDK_PREFIX}/bin/zorv-host.exe CACHE FILEPATH "zorv-host.exe, to test Windows components under Wine")
  else()
    set(_zorv_lib ${ZORV_SDK_PREFIX}/lib/native)
    if(NOT EXISTS ${_zorv_lib}/libzorv_string.so)
      set(ZorvSDK_FOUND FALSE)
      set(ZorvSDK_NOT_FOUND_MESSAGE "this SDK has no native part (${_zorv_lib}/libzorv_string.so missing)")
      return()
    endif()
    add_library(ZorvSDK::zorv_string SHARED IMPORTED)
    set_target_properties(ZorvSDK::zorv_string PROPERTIES
      IMPORTED_LOCATION ${_zorv_lib}/libzorv_string.so
      IMPORTED_SONAME libzorv_string.so)
    add_library(ZorvSDK::zorv_records STATIC IMPORTED)
    set_target_properties(ZorvSDK::zorv_records PROPERTIES IMPORTED_LOCATION ${_zorv_lib}/libzorv_records.a)
    add_library(ZorvSDK::zorv_script_helper STATIC IMPORTED)
    set_target_properties(ZorvSDK::zorv_script_helper PROPERTIES IMPORTED_LOCATION ${_zorv_lib}/libzorv_script_helper.a)
    add_executable(ZorvSDK::zorv-host IMPORTED)
    set_target_properties(ZorvSDK::zorv-host PROPERTIES IMPORTED_LOCATION ${ZORV_SDK_PREFIX}/bin/zorv-host)
  endif()
  set_target_properties(ZorvSDK::zorv_string PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${ZORV_SDK_PREFIX}/include/zorv)
  set_target_properties(ZorvSDK::zorv_records PROPERTIES
    INTERFACE_LINK_LIBRARIES ZorvSDK::zorv_string)
  set_target_properties(ZorvSDK::zorv_script_helper PROPERTIES
    INTERFACE_LINK_LIBRARIES "ZorvSDK::zorv_records;ZorvSDK::zorv_string")
  unset(_zorv_lib)
endif()

set(ZORV_COMPONENT_LIBRARIES ZorvSDK::zorv_script_helper ZorvSDK::zorv_string)
set(ZORV_TEXT_LIBRARY ZorvSDK::zorv_string)
set(ZORV_HOST_TARGET ZorvSDK::zorv-host)
include(${CMAKE_CURRENT_LIST_DIR}/ZorvComponent.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/ZorvValidate.cmake)
