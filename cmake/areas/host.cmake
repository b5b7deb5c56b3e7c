# vxffglhost: the headless FFGL host (tools/vxffglhost), built into
# <build>/tools so that it finds the Kelvo bundle of the same build.

if(VX_SANITIZE STREQUAL "tsan" OR VX_SANITIZE STREQUAL "fuzz")
  return()
endif()

file(GLOB VX_HOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tools/vxffglhost/*.cpp)
add_executable(vxffglhost ${VX_HOST_SOURCES})
target_link_libraries(vxffglhost PRIVATE vexkit)
set_target_properties(vxffglhost PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
vx_warnings(vxffglhost)

# The host loads the module at run time; build it along.
function(vx_host_needs_module)
  if(TARGET kelvo)
    add_dependencies(vxffglhost kelvo)
  endif()
endfunction()
cmake_language(DEFER CALL vx_host_needs_module)
