# The installable SDK, component "sdk": each build contributes its part to
# one prefix (scripts/install-sdk.sh runs all three):
#   include/zorv/            framework, text-library and platform headers
#   lib/native/, lib/win32/  the framework per target, the stand-in text
#                            library (and its import library on Windows)
#   bin/                     zorv-host, zorv-host.exe
#   share/zorv/win32/        .def files and the module runtime sources
#   share/zorv/templates/    what `zorv-host new` writes a project from
#   share/zorv/              zorv_image_check.py, run by `zorv-host image-check`
#   share/zorv/doc/          the author's guide, the workbench, the layout format,
#                            the changelog
#   lib/cmake/ZorvSDK/       the package, its functions and the toolchain file
# Kept out of a plain `cmake --install`, which fills dist/ as before.
set(sdk_cmake lib/cmake/ZorvSDK)

if(ZORV_WINDOWS_HOST)
  install(PROGRAMS $<TARGET_FILE:zorv-host> DESTINATION bin COMPONENT sdk EXCLUDE_FROM_ALL)
  return()
endif()

if(ZORV_WINDOWS_SHIPPING)
  set(plat win32)
  install(FILES $<TARGET_LINKER_FILE:zorv_string> DESTINATION lib/${plat} COMPONENT sdk EXCLUDE_FROM_ALL)
else()
  set(plat native)
  if(TARGET zorv-host)
    install(PROGRAMS $<TARGET_FILE:zorv-host> DESTINATION bin COMPONENT sdk EXCLUDE_FROM_ALL)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/tools/zorv-host/templates/ DESTINATION share/zorv/templates
      COMPONENT sdk EXCLUDE_FROM_ALL)
    install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/image-check/zorv_image_check.py DESTINATION share/zorv
      COMPONENT sdk EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/component-guide.md ${PROJECT_SOURCE_DIR}/docs/workbench.md
      ${PROJECT_SOURCE_DIR}/docs/workbench.png ${PROJECT_SOURCE_DIR}/docs/layout-format.md
      ${PROJECT_SOURCE_DIR}/CHANGELOG.md
      DESTINATION share/zorv/doc COMPONENT sdk EXCLUDE_FROM_ALL)
  endif()
endif()
install(FILES $<TARGET_FILE:zorv_script_helper> $<TARGET_FILE:zorv_records> $<TARGET_FILE:zorv_string>
  DESTINATION lib/${plat} COMPONENT sdk EXCLUDE_FROM_ALL)

file(GLOB framework_headers ${PROJECT_SOURCE_DIR}/zorv_script_helper/*.h)
list(FILTER framework_headers EXCLUDE REGEX "zorv_internal\\.h$")
install(FILES ${framework_headers} ${PROJECT_SOURCE_DIR}/zorv_string/zorv_string.h
  ${PROJECT_SOURCE_DIR}/platform/zorv_crt.h ${PROJECT_SOURCE_DIR}/platform/zorv_win32.h
  ${PROJECT_SOURCE_DIR}/platform/zorv_platform.h
  DESTINATION include/zorv COMPONENT sdk EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/platform/win32/kernel32.def
  ${PROJECT_SOURCE_DIR}/platform/win32/dll_entry.cpp ${PROJECT_SOURCE_DIR}/platform/win32/module_runtime.cpp
  DESTINATION share/zorv/win32 COMPONENT sdk EXCLUDE_FROM_ALL)

include(CMakePackageConfigHelpers)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZorvSDKConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES
  ${CMAKE_CURRENT_LIST_DIR}/ZorvSDKConfig.cmake
  ${CMAKE_BINARY_DIR}/ZorvSDKConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/ZorvComponent.cmake
  ${CMAKE_CURRENT_LIST_DIR}/ZorvComponent.rc.in
  ${CMAKE_CURRENT_LIST_DIR}/ZorvComponent.manifest
  ${CMAKE_CURRENT_LIST_DIR}/ZorvValidate.cmake
  ${CMAKE_CURRENT_LIST_DIR}/ZorvPlatform.cmake
  ${CMAKE_CURRENT_LIST_DIR}/ZorvWindows.cmake
  ${CMAKE_CURRENT_LIST_DIR}/toolchain-win32-clang-cl.cmake
  ${CMAKE_CURRENT_LIST_DIR}/zorv-compile-from-source-root.sh
  DESTINATION ${sdk_cmake} COMPONENT sdk EXCLUDE_FROM_ALL)
