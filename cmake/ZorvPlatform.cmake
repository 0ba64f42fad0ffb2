# What each build of this tree (and of a project on the SDK) is, said once.
# Include it after project(): the answers read the compiler and its word size.
#
#   ZORV_WINDOWS_TARGET       the build makes Windows images (any Windows tool
#                             chain: the clang-cl modules or MinGW's zorv-host.exe)
#   ZORV_WINDOWS_MODULES      the clang-cl build of the modules with the Microsoft
#                             C++ ABI, the shipped one or the 64-bit test build
#   ZORV_WINDOWS_SHIPPING     that build for 32-bit Windows: what ships
#   ZORV_WINDOWS64_TEST_BUILD a 64-bit Windows build (the modules or zorv-host.exe),
#                             made only for the tests under 64-bit Wine
#   ZORV_WINDOWS_HOST         the MinGW build of zorv-host.exe and its Wine tests
#                             (an option the presets set)
#
# Wine, for the tests that run Windows programs:
#   ZORV_WINE_PREFIX          the prefix, in the build folder unless given
#   zorv_wine(BITS n OUT_LOADER var OUT_ENV var)
#   zorv_wine_command(out BITS n [SKIP_WITHOUT_WINE])
#   zorv_wine_fixture(TESTS name FIXTURE name BITS n [SKIP_WITHOUT_WINE])
#
# scripts/ensure-packages.sh makes the tree's prefixes before any build is
# configured, so it spells the same settings in shell; keep the two alike.

option(ZORV_WINDOWS_HOST "MinGW build of zorv-host.exe and the Wine tests only" OFF)

# Whether this build makes Windows images. Asked when called, not when this
# file was included: a project may name its system late.
function(zorv_windows_target out)
  if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

zorv_windows_target(ZORV_WINDOWS_TARGET)
set(ZORV_WINDOWS_MODULES FALSE)
set(ZORV_WINDOWS_SHIPPING FALSE)
set(ZORV_WINDOWS64_TEST_BUILD FALSE)
if(ZORV_WINDOWS_TARGET)
  # clang-cl takes the Microsoft compiler's command line (CMake sets MSVC);
  # MinGW's g++ does not.
  if(MSVC)
    set(ZORV_WINDOWS_MODULES TRUE)
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ZORV_WINDOWS64_TEST_BUILD TRUE)
  elseif(ZORV_WINDOWS_MODULES)
    set(ZORV_WINDOWS_SHIPPING TRUE)
  endif()
endif()

set(ZORV_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "The Wine prefix of the Windows tests")

# The Wine that runs Windows programs of BITS (32 or 64): OUT_LOADER names
# the program that starts them, OUT_ENV the settings (NAME=VALUE each) of
# ZORV_WINE_PREFIX for that machine: its architecture, quiet, no prompt for
# Mono or Gecko, no display. A 32-bit prefix also where 64-bit Wine is
# installed: 32-bit Wine cannot use a 64-bit one.
function(zorv_wine)
  cmake_parse_arguments(W "" "BITS;OUT_LOADER;OUT_ENV" "" ${ARGN})
  if(W_BITS EQUAL 64)
    find_program(ZORV_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
    set(loader ${ZORV_WINE64})
    set(arch win64)
  elseif(W_BITS EQUAL 32)
    find_program(ZORV_WINE wine REQUIRED)
    set(loader ${ZORV_WINE})
    set(arch win32)
  else()
    message(FATAL_ERROR "zorv_wine: BITS is 32 or 64, not \"${W_BITS}\"")
  endif()
  set(${W_OUT_LOADER} ${loader} PARENT_SCOPE)
  set(${W_OUT_ENV} WINEPREFIX=${ZORV_WINE_PREFIX} WINEARCH=${arch} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
      DISPLAY= PARENT_SCOPE)
endfunction()

# The words that end a test with status 77 (skipped) where Wine cannot start
# (a kernel that runs no 32-bit programs) and run the rest of the command
# otherwise. (Newlines, not semicolons, which a CMake list would split at.)
function(_zorv_unless_no_wine out loader)
  set(${out} sh -c "if ! why=$(${loader} --version 2>&1)\nthen echo \"Wine cannot start on this machine (\${why}), as 32-bit Windows programs need a kernel that runs them: skipped\"\nexit 77\nfi\nexec \"$@\"" zorv-wine PARENT_SCOPE)
endfunction()

# Sets out to the command that runs a Windows program (the words that follow
# it) under the Wine of BITS, in its settings. SKIP_WITHOUT_WINE: where Wine
# cannot start, the test is skipped (status 77) instead of failed.
function(zorv_wine_command out)
  cmake_parse_arguments(W "SKIP_WITHOUT_WINE" "BITS" "" ${ARGN})
  zorv_wine(BITS ${W_BITS} OUT_LOADER loader OUT_ENV env)
  set(command)
  if(W_SKIP_WITHOUT_WINE)
    _zorv_unless_no_wine(command ${loader})
  endif()
  set(${out} ${command} ${CMAKE_COMMAND} -E env ${env} ${loader} PARENT_SCOPE)
endfunction()

# The CTest fixture of a Wine tier: a test TESTS.prefix (set-up of FIXTURE)
# starts a wineserver, kept running between the tests, and makes the prefix;
# TESTS.stop (its clean-up) ends that server, none left to end being no
# fault. SKIP_WITHOUT_WINE as for zorv_wine_command.
function(zorv_wine_fixture)
  cmake_parse_arguments(W "SKIP_WITHOUT_WINE" "TESTS;FIXTURE;BITS" "" ${ARGN})
  zorv_wine(BITS ${W_BITS} OUT_LOADER loader OUT_ENV env)
  find_program(ZORV_WINESERVER wineserver REQUIRED)
  set(command)
  if(W_SKIP_WITHOUT_WINE)
    _zorv_unless_no_wine(command ${loader})
  endif()
  list(APPEND command ${CMAKE_COMMAND} -E env ${env})
  add_test(NAME ${W_TESTS}.prefix COMMAND ${command}
    sh -c "${ZORV_WINESERVER} -p >/dev/null 2>&1 </dev/null; ${loader} wineboot --init >/dev/null 2>&1 </dev/null")
  add_test(NAME ${W_TESTS}.stop COMMAND ${command} sh -c "${ZORV_WINESERVER} -k 2>/dev/null; true")
  set_tests_properties(${W_TESTS}.prefix PROPERTIES FIXTURES_SETUP ${W_FIXTURE})
  set_tests_properties(${W_TESTS}.stop PROPERTIES FIXTURES_CLEANUP ${W_FIXTURE})
  if(W_SKIP_WITHOUT_WINE)
    set_tests_properties(${W_TESTS}.prefix ${W_TESTS}.stop PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()
