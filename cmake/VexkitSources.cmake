# Sources are found by folder, so adding a file needs no edit here.
function(vx_collect_sources out dir)
  file(GLOB found CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.c)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(vx_collect_sources_recursive out dir)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.c)
  set(${out} ${found} PARENT_SCOPE)
endfunction()
