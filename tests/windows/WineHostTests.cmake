# Tests of zorv-host.exe's own paths (loading, preflight, the factory's
# probe of the text library, the reading of command texts), shared by the 32-bit tier (dist/ under Wine)
# and the 64-bit one (the 64-bit test build under 64-bit Wine, which runs
# where 32-bit programs cannot).
#
#   zorv_wine_host_tests(PREFIX wine RUN script HOST exe MACHINE i386|x64
#                        DIST folder BIN folder FIXTURE name [LOCK name]
#                        PROBE_TEXT_BYTES n PROBE_LIST_BYTES n)
#
# RUN runs a Windows program under the tier's Wine and prefix; it keeps a
# WINEDEBUG of ZORV_WINEDEBUG. DIST holds Selvarin.dll beside its
# zorv_string.dll, BIN the test builds (faulty components, text libraries
# of other sizes). PROBE_*_BYTES are the oversized test libraries' object
# sizes on that machine.
set(ZORV_WINE_HOST_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})

function(zorv_wine_host_tests)
  cmake_parse_arguments(T "" "PREFIX;RUN;HOST;MACHINE;DIST;BIN;FIXTURE;LOCK;PROBE_TEXT_BYTES;PROBE_LIST_BYTES" "" ${ARGN})
  set(work ${CMAKE_BINARY_DIR}/${T_PREFIX}.work)
  set(added)

  # Preflight: ready with our stand-in; one FAIL line a cause, the items
  # needing it SKIP; the search order assumed, and what each order finds.
  foreach(case ready json missing_names missing_dll oversized_text_library validate_lines missing_layout
               search_order_host_folder search_order_component_folder)
    add_test(NAME ${T_PREFIX}.preflight.${case}
      COMMAND ${ZORV_WINE_HOST_TESTS_DIR}/preflight.sh ${case} ${T_RUN} ${T_HOST} ${T_DIST} ${T_BIN}
              ${work}/preflight.${case})
    list(APPEND added ${T_PREFIX}.preflight.${case})
  endforeach()

  # Load failures in words: a missing imported DLL named with the folders
  # the load searched, a missing export, an image of the other machine, a
  # file that is no image.
  add_test(NAME ${T_PREFIX}.load_errors
    COMMAND ${ZORV_WINE_HOST_TESTS_DIR}/load_errors.sh ${T_RUN} ${T_HOST} ${T_DIST} ${T_BIN} ${work}/load_errors
            ${T_MACHINE})
  list(APPEND added ${T_PREFIX}.load_errors)

  # The factory's check of the text library: Selvarin.dll beside an
  # oversized test build of zorv_string.dll refuses, with one debug line,
  # and beside ours makes its components.
  set(probe ${PROJECT_SOURCE_DIR}/tests/probe/factory_probe.sh)
  set(scenario ${PROJECT_SOURCE_DIR}/tests/probe/two_factory_calls.scn)
  add_test(NAME ${T_PREFIX}.probe.ordinary_library
    COMMAND ${probe} made -- env ZORV_WINEDEBUG=-all,warn+debugstr ${T_RUN} ${T_HOST} run ${T_DIST}/Selvarin.dll
            ${scenario})
  list(APPEND added ${T_PREFIX}.probe.ordinary_library)
  foreach(oversized "text;zorv_string;${T_PROBE_TEXT_BYTES}" "list;zorv_stringlist;${T_PROBE_LIST_BYTES}")
    list(GET oversized 0 kind)
    list(GET oversized 1 class)
    list(GET oversized 2 bytes)
    set(folder ${work}/probe_${kind})
    add_test(NAME ${T_PREFIX}.probe.oversized_${kind}
      COMMAND sh -c "mkdir -p ${folder} && cp ${T_DIST}/Selvarin.dll ${T_BIN}/oversized_${kind}/zorv_string.dll ${folder}/ && ${probe} ${class} ${bytes} -- env ZORV_WINEDEBUG=-all,warn+debugstr ${T_RUN} ${T_HOST} run ${folder}/Selvarin.dll ${scenario}")
    list(APPEND added ${T_PREFIX}.probe.oversized_${kind})
  endforeach()

  # Crash reports name the planted line: the stack walked in the exception
  # handler, the module's symbols read from its PDB.
  add_test(NAME ${T_PREFIX}.crash_sites
    COMMAND ${SYSTEM_PYTHON} ${PROJECT_SOURCE_DIR}/tests/crash_sites.py --run ${T_RUN} ${T_HOST} ${T_BIN} .dll
            ${PROJECT_SOURCE_DIR}/tests/faulty_components/faulty_component.cpp)
  list(APPEND added ${T_PREFIX}.crash_sites)

  # The host's reading of command texts, against the memory protections of
  # Windows as Wine gives them.
  add_executable(host_command_text ${ZORV_WINE_HOST_TESTS_DIR}/command_text.cpp)
  target_link_libraries(host_command_text PRIVATE zorv_host_core)
  add_test(NAME ${T_PREFIX}.command_text COMMAND ${T_RUN} $<TARGET_FILE:host_command_text>)
  list(APPEND added ${T_PREFIX}.command_text)

  set_tests_properties(${added} PROPERTIES FIXTURES_REQUIRED ${T_FIXTURE})
  if(T_LOCK)
    set_tests_properties(${added} PROPERTIES RESOURCE_LOCK ${T_LOCK})
  endif()
endfunction()

# A script that runs a Windows program with WINE in the environment ENV (a
# list of NAME=VALUE), WINEDEBUG taken from ZORV_WINEDEBUG when set.
function(zorv_wine_runner output wine)
  set(exports)
  foreach(setting IN LISTS ARGN)
    if(NOT setting MATCHES "^WINEDEBUG=")
      string(APPEND exports "export ${setting}\n")
    endif()
  endforeach()
  file(GENERATE OUTPUT ${output}
    CONTENT "#!/bin/sh\n${exports}export WINEDEBUG=\"\${ZORV_WINEDEBUG:--all}\"\nexec ${wine} \"$@\"\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()
