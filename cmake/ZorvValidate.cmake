# zorv_add_validation(TARGET target [STRICTNESS n] [ARGS ...])
#
# Adds a CTest test "validate.<target>" that runs `zorv-host validate` on the
# component library built by target: every named check of the host contract,
# each in a child process of its own. A component author adds one line per
# component library.
function(zorv_add_validation)
  cmake_parse_arguments(V "" "TARGET;STRICTNESS" "ARGS" ${ARGN})
  if(NOT V_TARGET)
    message(FATAL_ERROR "zorv_add_validation needs TARGET")
  endif()
  if(NOT V_STRICTNESS)
    set(V_STRICTNESS 2)
  endif()
  add_test(NAME validate.${V_TARGET}
    COMMAND zorv-host validate $<TARGET_FILE:${V_TARGET}> --strictness ${V_STRICTNESS} ${V_ARGS})
endfunction()
