# Pieces of the Windows shipping build: import libraries made from .def files,
# and the module runtime every DLL of ours carries.
# The installed SDK points this at its own copy before including this file.
if(NOT DEFINED ZORV_WIN32_DIR)
  set(ZORV_WIN32_DIR ${PROJECT_SOURCE_DIR}/platform/win32)
endif()

# No C++ exceptions in the shipped modules: CMake's default /EHsc goes.
string(REPLACE "/EHsc" "" CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS}")
set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} /EHs-c-")

# An import library NAME.lib for the DLL described by platform/win32/NAME.def,
# as an imported target zorv_import_NAME.
function(zorv_import_library name)
  set(lib ${CMAKE_BINARY_DIR}/importlibs/${name}.lib)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/importlibs
    COMMAND llvm-dlltool-14 -m i386 -k -d ${ZORV_WIN32_DIR}/${name}.def -l ${lib}
    DEPENDS ${ZORV_WIN32_DIR}/${name}.def
    COMMENT "Import library for ${name}")
  add_custom_target(zorv_import_${name}_lib DEPENDS ${lib})
  add_library(zorv_import_${name} INTERFACE)
  target_link_libraries(zorv_import_${name} INTERFACE ${lib})
  add_dependencies(zorv_import_${name} zorv_import_${name}_lib)
endfunction()

zorv_import_library(kernel32)
zorv_import_library(ucrtbase)

# Gives a DLL target of ours what the static runtime would otherwise bring.
function(zorv_windows_module target)
  target_sources(${target} PRIVATE ${ZORV_WIN32_DIR}/module_runtime.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform)
  target_link_libraries(${target} PRIVATE zorv_import_ucrtbase)
  # Exceptions off on the target too, for projects whose flags still carry /EHsc.
  target_compile_options(${target} PRIVATE /EHs-c-)
  target_link_options(${target} PRIVATE /nodefaultlib /manifest:no)
endfunction()
