# CTest tests of a component library, the same call natively and with the
# Windows tool chain (then zorv-host.exe runs the DLL under Wine).
#
# zorv_add_validation(TARGET target [STRICTNESS n] [SCENARIOS file...]
#                     [CONTROLS PANEL:ID...] [ARGS ...])
#   A test "validate.<target>": `zorv-host validate` runs every named check of
#   the host contract on the library, each in a child process of its own.
#   Besides what the component declares and the layouts it shows, the checks
#   send every event of the SCENARIOS (paths relative to this folder) and
#   press the CONTROLS.
# zorv_add_scenarios(target FILES scenario...)
#   A test "scenario.<target>.<name>" per file: `zorv-host check` plays the
#   scenario and compares what the component did with its expected lines.
# zorv_add_coverage_report(TARGET target)
#   A target "<target>_coverage" (not built by default): `zorv-host coverage`
#   plays the component's scenarios and its validation (the storm among its
#   checks), as the two functions above gave them, and writes an HTML report
#   and a summary to coverage/<target>/ in this build folder: lines and
#   branches reached per file, and the functions never reached. Needs a
#   native build configured with -DZORV_COVERAGE=ON, and gcovr.
#
# Natively the tests run the zorv-host target (our tree or the SDK). With the
# Windows tool chain they run ZORV_HOST_EXE under wine in a prefix of this
# build folder (or ZORV_WINE_PREFIX); zorv_string.dll must sit beside the component (the SDK's
# zorv_add_component puts it there).

include(${CMAKE_CURRENT_LIST_DIR}/ZorvPlatform.cmake)
if(NOT DEFINED ZORV_HOST_TARGET)
  set(ZORV_HOST_TARGET zorv-host)
endif()
set(ZORV_HOST_EXE "" CACHE FILEPATH "zorv-host.exe, to test Windows components under Wine")

# Sets ${out} to the command line that starts zorv-host, adding once per
# project the Wine prefix set-up the Windows tests depend on. Where Wine
# cannot start, each Wine test says so and is reported as skipped, not failed.
function(_zorv_host_command out)
  zorv_windows_target(windows)
  if(windows)
    if(NOT ZORV_HOST_EXE OR NOT EXISTS "${ZORV_HOST_EXE}")
      message(FATAL_ERROR "Testing a Windows component needs ZORV_HOST_EXE, the path of zorv-host.exe (found: \"${ZORV_HOST_EXE}\")")
    endif()
    get_property(done GLOBAL PROPERTY ZORV_WINE_FIXTURE)
    if(NOT done)
      set_property(GLOBAL PROPERTY ZORV_WINE_FIXTURE ON)
      zorv_wine_fixture(TESTS zorv.wine FIXTURE zorv_wine BITS 32 SKIP_WITHOUT_WINE)
    endif()
    zorv_wine_command(wine BITS 32 SKIP_WITHOUT_WINE)
    set(${out} ${wine} ${ZORV_HOST_EXE} PARENT_SCOPE)
  elseif(TARGET ${ZORV_HOST_TARGET})
    set(${out} $<TARGET_FILE:${ZORV_HOST_TARGET}> PARENT_SCOPE)
  else()
    message(FATAL_ERROR "No zorv-host target: find_package(ZorvSDK) or build inside the project tree")
  endif()
endfunction()

function(_zorv_wine_properties test)
  zorv_windows_target(windows)
  if(windows)
    set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED zorv_wine RESOURCE_LOCK zorv_wine SKIP_RETURN_CODE 77)
  endif()
endfunction()

function(zorv_add_validation)
  cmake_parse_arguments(V "" "TARGET;STRICTNESS" "ARGS;SCENARIOS;CONTROLS" ${ARGN})
  if(NOT V_TARGET)
    message(FATAL_ERROR "zorv_add_validation needs TARGET")
  endif()
  if(V_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zorv_add_validation(TARGET ${V_TARGET}): unknown arguments: ${V_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT V_STRICTNESS)
    set(V_STRICTNESS 2)
  endif()
  set(vocabulary)
  foreach(file IN LISTS V_SCENARIOS)
    get_filename_component(abs "${file}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND vocabulary --scenario ${abs})
  endforeach()
  foreach(control IN LISTS V_CONTROLS)
    list(APPEND vocabulary --controls ${control})
  endforeach()
  set_property(TARGET ${V_TARGET} PROPERTY ZORV_VALIDATION_VOCABULARY ${vocabulary})
  set_property(TARGET ${V_TARGET} PROPERTY ZORV_VALIDATION_OPTIONS --strictness ${V_STRICTNESS} ${V_ARGS})
  _zorv_host_command(host)
  add_test(NAME validate.${V_TARGET}
    COMMAND ${host} validate $<TARGET_FILE:${V_TARGET}> --strictness ${V_STRICTNESS} ${vocabulary} ${V_ARGS})
  _zorv_wine_properties(validate.${V_TARGET})
endfunction()

function(zorv_add_scenarios target)
  cmake_parse_arguments(PARSE_ARGV 1 S "" "" "FILES")
  if(S_UNPARSED_ARGUMENTS OR NOT S_FILES)
    message(FATAL_ERROR "zorv_add_scenarios(${target} FILES scenario...): no FILES given, or unknown arguments: ${S_UNPARSED_ARGUMENTS}")
  endif()
  _zorv_host_command(host)
  foreach(file IN LISTS S_FILES)
    get_filename_component(abs "${file}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    get_filename_component(name "${file}" NAME_WE)
    add_test(NAME scenario.${target}.${name} COMMAND ${host} check $<TARGET_FILE:${target}> ${abs})
    set_property(TARGET ${target} APPEND PROPERTY ZORV_SCENARIO_FILES ${abs})
    _zorv_wine_properties(scenario.${target}.${name})
  endforeach()
endfunction()

# The gcov program of the compiler that built the components: gcc's own
# version of gcov, or clang's llvm-cov in its gcov mode.
function(_zorv_gcov_command out)
  string(REGEX MATCH "^[0-9]+" major "${CMAKE_CXX_COMPILER_VERSION}")
  get_filename_component(folder "${CMAKE_CXX_COMPILER}" DIRECTORY)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    find_program(ZORV_LLVM_COV NAMES llvm-cov-${major} llvm-cov HINTS ${folder})
    set(${out} "${ZORV_LLVM_COV} gcov" PARENT_SCOPE)
  else()
    find_program(ZORV_GCOV NAMES gcov-${major} gcov HINTS ${folder})
    set(${out} "${ZORV_GCOV}" PARENT_SCOPE)
  endif()
endfunction()

function(zorv_add_coverage_report)
  cmake_parse_arguments(R "" "TARGET" "" ${ARGN})
  if(NOT R_TARGET OR R_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zorv_add_coverage_report(TARGET target): no TARGET given, or unknown arguments: ${R_UNPARSED_ARGUMENTS}")
  endif()
  set(report ${R_TARGET}_coverage)
  get_target_property(counted ${R_TARGET} ZORV_COVERAGE)
  if(NOT counted)
    add_custom_target(${report}
      COMMAND ${CMAKE_COMMAND} -E echo "${R_TARGET} is built without coverage counts: configure a native build with -DZORV_COVERAGE=ON"
      COMMAND ${CMAKE_COMMAND} -E false
      VERBATIM)
    return()
  endif()
  _zorv_host_command(host)
  _zorv_gcov_command(gcov)
  get_target_property(sources ${R_TARGET} ZORV_SOURCE_DIR)
  set(property "$<TARGET_PROPERTY:${R_TARGET},ZORV_SCENARIO_FILES>")
  set(scenarios "$<$<BOOL:${property}>:--scenario=$<JOIN:${property},$<SEMICOLON>--scenario=>>")
  add_custom_target(${report}
    COMMAND ${host} coverage $<TARGET_FILE:${R_TARGET}>
            --objects ${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${R_TARGET}.dir
            --sources ${sources} --out ${CMAKE_CURRENT_BINARY_DIR}/coverage/${R_TARGET} --gcov ${gcov}
            ${scenarios}
            -- "$<TARGET_PROPERTY:${R_TARGET},ZORV_VALIDATION_OPTIONS>"
               "$<TARGET_PROPERTY:${R_TARGET},ZORV_VALIDATION_VOCABULARY>"
    DEPENDS ${R_TARGET}
    COMMAND_EXPAND_LISTS
    USES_TERMINAL
    COMMENT "Coverage of ${R_TARGET}: its scenarios and validation, counted"
    VERBATIM)
endfunction()
