# Pieces of the Windows shipping build: import libraries made from .def files,
# and the module runtime every DLL of ours carries.
# The installed SDK points this at its own copy before including this file.
if(NOT DEFINED ZORV_WIN32_DIR)
  set(ZORV_WIN32_DIR ${PROJECT_SOURCE_DIR}/platform/win32)
endif()

# No C++ exceptions in the shipped modules: CMake's default /EHsc goes.
string(REPLACE "/EHsc" "" CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS}")
set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} /EHs-c-")

# Debug info for the PDB, the same from any source and build folder: no
# compiler command line in it (it names every include folder; clang 16 can
# leave it out), source paths written under X:/source, the build folder's
# as X:/build (and lld-link makes the objects' relative paths absolute
# against it, /pdbsourcepath). The compiler runs in the source root with
# the source named relative to it (zorv-compile-from-source-root.sh): the
# names of types in anonymous namespaces carry a hash of that name. Every
# object of the build (the framework's libraries too) gets all this.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 16)
  message(FATAL_ERROR "the Windows build needs clang-cl 16 or later (Debian package clang-16), "
    "not ${CMAKE_CXX_COMPILER} ${CMAKE_CXX_COMPILER_VERSION}: older ones write the source folder into the PDB. "
    "A build folder configured with an older one keeps it in its cache: remove ${CMAKE_BINARY_DIR} "
    "and configure again")
endif()
set(ZORV_WINDOWS_REPRO_FLAGS /Z7 /Brepro -gno-codeview-command-line
  /clang:-fdebug-compilation-dir=X:/source /clang:-fcoverage-compilation-dir=X:/source
  /clang:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=X:/source
  /clang:-ffile-prefix-map=${CMAKE_BINARY_DIR}=X:/build)
# An SDK's own sources (the module runtime) and headers, wherever it is installed.
if(DEFINED ZORV_SDK_PREFIX)
  list(APPEND ZORV_WINDOWS_REPRO_FLAGS /clang:-ffile-prefix-map=${ZORV_SDK_PREFIX}=X:/zorv-sdk)
endif()
foreach(lang C CXX)
  if(NOT CMAKE_${lang}_COMPILER_LAUNCHER MATCHES "zorv-compile-from-source-root")
    set(CMAKE_${lang}_COMPILER_LAUNCHER sh ${CMAKE_CURRENT_LIST_DIR}/zorv-compile-from-source-root.sh
      ${PROJECT_SOURCE_DIR} ${CMAKE_${lang}_COMPILER_LAUNCHER})
  endif()
endforeach()
add_compile_options(${ZORV_WINDOWS_REPRO_FLAGS})

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZORV_DLLTOOL_MACHINE i386:x86-64)
else()
  set(ZORV_DLLTOOL_MACHINE i386)
endif()

# An import library NAME.lib for the DLL described by platform/win32/NAME.def,
# as an imported target zorv_import_NAME.
function(zorv_import_library name)
  set(lib ${CMAKE_BINARY_DIR}/importlibs/${name}.lib)
  set(def ${ZORV_WIN32_DIR}/${name}.def)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # x64 has one calling convention and no @N decoration of stdcall names.
    file(READ ${def} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(def ${CMAKE_BINARY_DIR}/importlibs/${name}.x64.def)
    file(WRITE ${def} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZORV_WIN32_DIR}/${name}.def)
  endif()
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/importlibs
    COMMAND llvm-dlltool-16 -m ${ZORV_DLLTOOL_MACHINE} -k -d ${def} -l ${lib}
    DEPENDS ${def}
    COMMENT "Import library for ${name}")
  add_custom_target(zorv_import_${name}_lib DEPENDS ${lib})
  add_library(zorv_import_${name} INTERFACE)
  target_link_libraries(zorv_import_${name} INTERFACE ${lib})
  add_dependencies(zorv_import_${name} zorv_import_${name}_lib)
endfunction()

zorv_import_library(kernel32)

# The oldest Windows our modules load on: every function they import is in
# KERNEL32.dll since the first 32-bit Windows, so the header asks for no
# more than Windows XP (5.1), the oldest version lld-link writes for x86.
set(ZORV_WINDOWS_MIN_VERSION 5.01)

# Gives a DLL target of ours what the static runtime would otherwise bring,
# and every setting of the shipped image:
# - the kernel is the only import library (no C runtime);
# - header OS and subsystem versions ZORV_WINDOWS_MIN_VERSION;
# - reproducible: /Brepro puts a content hash where the time stamp was, and
#   the objects' debug info (no folder of the build machine in it) goes to
#   the PDB only;
# - a PDB beside the DLL, named in the image by file name alone (no path of
#   the build machine), installed next to the DLL for reading crash dumps.
# Test modules (a TEST argument, or anything under tests/) keep their PDB in
# the build folder.
function(zorv_windows_module target)
  target_sources(${target} PRIVATE ${ZORV_WIN32_DIR}/module_runtime.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform)
  target_link_libraries(${target} PRIVATE zorv_import_kernel32)
  target_compile_options(${target} PRIVATE ${ZORV_WINDOWS_REPRO_FLAGS})
  # Exceptions off on the target too, for projects whose flags still carry /EHsc.
  # Frame pointers kept: a 32-bit crash report walks the module's frames by
  # them (64-bit images carry unwind tables anyway).
  target_compile_options(${target} PRIVATE /EHs-c- /Oy-)
  target_link_options(${target} PRIVATE /nodefaultlib /manifest:no
    /subsystem:windows,${ZORV_WINDOWS_MIN_VERSION} /osversion:${ZORV_WINDOWS_MIN_VERSION}
    /debug /pdbaltpath:%_PDB% /pdbsourcepath:X:/build /Brepro /opt:ref /opt:icf /incremental:no)
  get_target_property(source_dir ${target} SOURCE_DIR)
  if(NOT "TEST" IN_LIST ARGN AND NOT source_dir MATCHES "^${PROJECT_SOURCE_DIR}/tests(/|$)")
    install(FILES $<TARGET_PDB_FILE:${target}> DESTINATION .)
  endif()
endfunction()
