# zorv_add_component(NAME SOURCES src... [LAYOUTS file...]
#                    VERSION a.b.c.d DESCRIPTION "text"
#                    [COMMENTS "text"] [PRODUCT "text"]
#                    [COMPANY "text"] [COPYRIGHT "text"])
#
# Builds a component library named after the component: NAME.so natively,
# NAME.dll with the Windows tool chain. Everything the host relies on is put
# on this one target, so the call works the same in our tree and in an
# author's project: the framework and text library, hidden symbols, and on
# Windows the module runtime, the entry notification and a version record
# and manifest generated from the arguments. Layouts are copied beside the
# module, where the host looks for them.
#
# With -DZORV_COVERAGE=ON a native build counts, with gcov, which lines and
# branches of the component's own sources run (unoptimised, so that lines
# stay lines); zorv_add_coverage_report() reports them. The Windows build
# ignores the switch and says so.
#
# Links ZORV_COMPONENT_LIBRARIES (default: the targets zorv_script_helper and
# zorv_string of our tree; the SDK package sets its imported targets), and with the Windows tool chain zorv_windows_module() and
# zorv_import_kernel32 from ZorvWindows.cmake and ZORV_WIN32_DIR.
include(${CMAKE_CURRENT_LIST_DIR}/ZorvPlatform.cmake)
set(ZORV_COMPONENT_TEMPLATE_DIR ${CMAKE_CURRENT_LIST_DIR})
if(NOT DEFINED ZORV_COMPONENT_LIBRARIES)
  set(ZORV_COMPONENT_LIBRARIES zorv_script_helper zorv_string)
endif()
option(ZORV_COVERAGE "Count what the tests reach of each component (native builds, gcov)" OFF)
if(NOT DEFINED ZORV_TEXT_LIBRARY)
  set(ZORV_TEXT_LIBRARY zorv_string)
endif()

# "1.2.3.4" -> the list 1;2;3;4, or a fatal error naming the argument.
function(_zorv_version_numbers out version)
  if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "zorv_add_component: VERSION must be four numbers a.b.c.d, not \"${version}\"")
  endif()
  foreach(i 1 2 3 4)
    if(CMAKE_MATCH_${i} GREATER 65535)
      message(FATAL_ERROR "zorv_add_component: each part of VERSION must be at most 65535 (\"${version}\")")
    endif()
  endforeach()
  set(${out} "${CMAKE_MATCH_1};${CMAKE_MATCH_2};${CMAKE_MATCH_3};${CMAKE_MATCH_4}" PARENT_SCOPE)
endfunction()

# A text as the body of a resource-script string: quotes doubled; a line
# break or a backslash is refused, as the record's strings are one line.
function(_zorv_rc_text out key text)
  if(text MATCHES "[\n\r\\\\]")
    message(FATAL_ERROR "zorv_add_component: ${key} must be one line without backslashes")
  endif()
  string(REPLACE "\"" "\"\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A native build keeps its debugging symbols in every configuration (the
# Windows build always writes its PDB): a crash report names the source
# line of the component's frames only where they are there.
function(zorv_native_debug_symbols target)
  if(NOT MSVC)
    target_compile_options(${target} PRIVATE -g)
  endif()
endfunction()

# The gcov counts, on the component's own sources only.
function(_zorv_coverage_counts target)
  zorv_windows_target(windows)
  if(windows)
    get_property(said GLOBAL PROPERTY ZORV_COVERAGE_SAID)
    if(NOT said)
      set_property(GLOBAL PROPERTY ZORV_COVERAGE_SAID ON)
      message(WARNING "ZORV_COVERAGE is for the native build: the Windows components are built without counts")
    endif()
    return()
  endif()
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    message(FATAL_ERROR "ZORV_COVERAGE needs gcc or clang (gcov's counts), not ${CMAKE_CXX_COMPILER_ID}")
  endif()
  target_compile_options(${target} PRIVATE --coverage -O0)
  target_link_options(${target} PRIVATE --coverage)
  # One object per source, so that the counts name the author's own files.
  set_target_properties(${target} PROPERTIES UNITY_BUILD OFF ZORV_COVERAGE ON)
endfunction()

function(zorv_add_component name)
  cmake_parse_arguments(PARSE_ARGV 1 C ""
    "VERSION;DESCRIPTION;COMMENTS;PRODUCT;COMPANY;COPYRIGHT" "SOURCES;LAYOUTS")
  if(C_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zorv_add_component(${name}): unknown arguments: ${C_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT C_SOURCES)
    message(FATAL_ERROR "zorv_add_component(${name}): SOURCES is required")
  endif()
  if(NOT C_VERSION)
    message(FATAL_ERROR "zorv_add_component(${name}): VERSION a.b.c.d is required")
  endif()
  if(NOT DEFINED C_DESCRIPTION OR C_DESCRIPTION STREQUAL "")
    message(FATAL_ERROR "zorv_add_component(${name}): DESCRIPTION is required")
  endif()
  _zorv_version_numbers(numbers "${C_VERSION}")
  if(NOT DEFINED C_COMMENTS)
    set(C_COMMENTS "ZORV V4.5 Script Component")
  endif()
  if(NOT DEFINED C_PRODUCT)
    set(C_PRODUCT "ZORV V4.5")
  endif()
  if(NOT DEFINED C_COMPANY)
    set(C_COMPANY "")
  endif()
  if(NOT DEFINED C_COPYRIGHT)
    set(C_COPYRIGHT "")
  endif()

  add_library(${name} MODULE ${C_SOURCES})
  target_link_libraries(${name} PRIVATE ${ZORV_COMPONENT_LIBRARIES})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    BUILD_RPATH "$ORIGIN"
    INSTALL_RPATH "$ORIGIN")
  if(COMMAND zorv_warnings)
    zorv_warnings(${name})
  endif()
  zorv_native_debug_symbols(${name})
  set_target_properties(${name} PROPERTIES ZORV_SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  if(ZORV_COVERAGE)
    _zorv_coverage_counts(${name})
  endif()

  if(ZORV_WINDOWS_TARGET)
    if(NOT COMMAND zorv_windows_module OR NOT DEFINED ZORV_WIN32_DIR)
      message(FATAL_ERROR "zorv_add_component(${name}): the Windows build needs ZorvWindows.cmake (or the SDK package) included first")
    endif()
    list(JOIN numbers "," ZORV_RC_VERSION_NUMBERS)
    list(JOIN numbers ", " ZORV_RC_VERSION_TEXT)
    set(ZORV_RC_NAME "${name}")
    foreach(key DESCRIPTION COMMENTS PRODUCT COMPANY COPYRIGHT)
      _zorv_rc_text(ZORV_RC_${key} ${key} "${C_${key}}")
    endforeach()
    set(gen ${CMAKE_CURRENT_BINARY_DIR}/${name}_resources)
    configure_file(${ZORV_COMPONENT_TEMPLATE_DIR}/ZorvComponent.manifest ${gen}/${name}.manifest COPYONLY)
    set(ZORV_RC_MANIFEST "${gen}/${name}.manifest")
    configure_file(${ZORV_COMPONENT_TEMPLATE_DIR}/ZorvComponent.rc.in ${gen}/${name}.rc @ONLY)
    target_sources(${name} PRIVATE ${ZORV_WIN32_DIR}/dll_entry.cpp ${gen}/${name}.rc)
    set_source_files_properties(${gen}/${name}.rc PROPERTIES OBJECT_DEPENDS ${gen}/${name}.manifest)
    zorv_windows_module(${name})
    target_link_libraries(${name} PRIVATE zorv_import_kernel32)
    # A prebuilt text library goes beside the DLL, where Windows (and Wine)
    # look for it when the component loads.
    get_target_property(imported ${ZORV_TEXT_LIBRARY} IMPORTED)
    if(imported)
      add_custom_command(TARGET ${name} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${ZORV_TEXT_LIBRARY}> $<TARGET_FILE_DIR:${name}>
        VERBATIM)
    endif()
  endif()

  foreach(layout IN LISTS C_LAYOUTS)
    get_filename_component(abs "${layout}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    get_filename_component(base "${layout}" NAME)
    # A misspelt layout would otherwise surface only at the copy after the build.
    get_source_file_property(generated "${abs}" GENERATED)
    if(NOT EXISTS "${abs}" AND NOT generated)
      message(FATAL_ERROR "zorv_add_component(${name}): the layout ${layout} does not exist (${abs})")
    endif()
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${abs} $<TARGET_FILE_DIR:${name}>/${base}
      VERBATIM)
    set_property(TARGET ${name} APPEND PROPERTY ZORV_LAYOUTS ${abs})
  endforeach()
endfunction()
