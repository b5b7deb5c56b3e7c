# Run with -P by the vxffglhost test (cmake/areas/host.cmake): renders the
# module PLUGIN with the host HOST into a fresh OUT folder with the options
# ARGS and fails unless the host exits 0 and writes exactly the PNG frames
# FRAMES, each a PNG file.

file(REMOVE_RECURSE "${OUT}")
execute_process(
  COMMAND "${HOST}" --plugin "${PLUGIN}" --out "${OUT}" ${ARGS}
  RESULT_VARIABLE result)
if(NOT result STREQUAL "0")
  message(FATAL_ERROR "vxffglhost exited with ${result}")
endif()

file(GLOB written RELATIVE "${OUT}" "${OUT}/*")
list(SORT written)
set(expected ${FRAMES})
list(SORT expected)
if(NOT written STREQUAL expected)
  message(FATAL_ERROR "vxffglhost wrote [${written}], expected [${expected}]")
endif()

foreach(frame ${written})
  file(READ "${OUT}/${frame}" signature LIMIT 8 HEX)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${frame} is not a PNG file (starts ${signature})")
  endif()
endforeach()
