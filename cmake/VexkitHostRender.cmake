# Run with -P by the vxffglhost test (cmake/areas/host.cmake): renders the
# module PLUGIN with the host HOST into the folder OUT with the options ARGS
# and fails unless the host exits 0 and the folder then holds exactly the PNG
# frames FRAMES besides what was there that is no frame: OUT starts with a
# frame of an earlier, longer run and a file of the user's.

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
file(WRITE "${OUT}/frame-99999.png" "an earlier run's frame")
file(WRITE "${OUT}/frame-notes.txt" "the user's")

execute_process(
  COMMAND "${HOST}" --plugin "${PLUGIN}" --out "${OUT}" ${ARGS}
  RESULT_VARIABLE result)
if(NOT result STREQUAL "0")
  message(FATAL_ERROR "vxffglhost exited with ${result}")
endif()

file(GLOB written RELATIVE "${OUT}" "${OUT}/*")
list(SORT written)
set(expected ${FRAMES} frame-notes.txt)
list(SORT expected)
if(NOT written STREQUAL expected)
  message(FATAL_ERROR "the folder holds [${written}], expected [${expected}]")
endif()

list(REMOVE_ITEM written frame-notes.txt)
foreach(frame ${written})
  file(READ "${OUT}/${frame}" signature LIMIT 8 HEX)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${frame} is not a PNG file (starts ${signature})")
  endif()
endforeach()
