# Run with -P by the vxffglhost tests (cmake/areas/host.cmake): renders the
# module PLUGIN with the host HOST into the folder OUT with the options ARGS
# and fails unless the host exits 0 and the folder then holds exactly the PNG
# frames FRAMES besides what was there that is no frame: OUT starts with a
# frame of an earlier, longer run and a file of the user's. With EXIT, the
# host must exit with that code instead, saying ERROR on stderr, and leave
# the folder as it was.

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
file(WRITE "${OUT}/frame-99999.png" "an earlier run's frame")
file(WRITE "${OUT}/frame-notes.txt" "the user's")

if(NOT DEFINED EXIT)
  set(EXIT 0)
endif()
execute_process(
  COMMAND "${HOST}" --plugin "${PLUGIN}" --out "${OUT}" ${ARGS}
  RESULT_VARIABLE result
  ERROR_VARIABLE errors)
if(NOT result STREQUAL "${EXIT}")
  message(FATAL_ERROR "vxffglhost exited with ${result}, not ${EXIT}:\n${errors}")
endif()
if(NOT EXIT STREQUAL "0")
  string(FIND "${errors}" "${ERROR}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "vxffglhost did not say \"${ERROR}\":\n${errors}")
  endif()
  set(FRAMES frame-99999.png)
  file(READ "${OUT}/frame-99999.png" earlier)
  if(NOT earlier STREQUAL "an earlier run's frame")
    message(FATAL_ERROR "the earlier run's frame was overwritten")
  endif()
endif()

file(GLOB written RELATIVE "${OUT}" "${OUT}/*")
list(SORT written)
set(expected ${FRAMES} frame-notes.txt)
list(SORT expected)
if(NOT written STREQUAL expected)
  message(FATAL_ERROR "the folder holds [${written}], expected [${expected}]")
endif()

list(REMOVE_ITEM written frame-notes.txt)
if(NOT EXIT STREQUAL "0")
  return()
endif()
foreach(frame ${written})
  file(READ "${OUT}/${frame}" signature LIMIT 8 HEX)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${frame} is not a PNG file (starts ${signature})")
  endif()
endforeach()
