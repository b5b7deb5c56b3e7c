# run(<what> <command...>): runs the command, fails the script with its
# output unless it exits 0, and leaves its output in `output`.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result STREQUAL "0")
    message(FATAL_ERROR "${what} failed (${result}):\n${out}\n${err}")
  endif()
  set(output "${out}${err}" PARENT_SCOPE)
endfunction()
