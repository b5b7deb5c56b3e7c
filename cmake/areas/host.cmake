# vxffglhost: the headless FFGL host (tools/vxffglhost), built into
# <build>/tools so that it finds the Kelvo bundle of the same build.

if(VX_SANITIZE STREQUAL "tsan")
  return()
endif()

# The snapshot of the GL state a host hands a plugin, shared with the tests
# that play host (tests/engine/ffgl, tests/plugin).
set(VX_HOST_GL_STATE_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/tools/vxffglhost/VXHostGLState.cpp)
add_library(vx_host_gl_state STATIC ${VX_HOST_GL_STATE_SOURCE})
target_include_directories(vx_host_gl_state PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/tools)
target_link_libraries(vx_host_gl_state PUBLIC PkgConfig::EPOXY)
vx_warnings(vx_host_gl_state)

# The host's side of plugMain (loading, parameters by name), shared with
# the tests that load built modules (tests/engine/ffgl).
set(VX_HOST_PLUGIN_MODULE_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/tools/vxffglhost/VXPluginModule.cpp)
add_library(vx_host_plugin_module STATIC ${VX_HOST_PLUGIN_MODULE_SOURCE})
target_include_directories(vx_host_plugin_module PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/tools)
target_link_libraries(vx_host_plugin_module PUBLIC vx_ffglprotocol ${CMAKE_DL_LIBS})
vx_warnings(vx_host_plugin_module)

file(GLOB VX_HOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tools/vxffglhost/*.cpp)
list(REMOVE_ITEM VX_HOST_SOURCES ${VX_HOST_GL_STATE_SOURCE} ${VX_HOST_PLUGIN_MODULE_SOURCE})
add_executable(vxffglhost ${VX_HOST_SOURCES})
# It loads the module and writes PNG files: the image layer is all of the
# engine it links, so it runs where the media libraries are absent.
target_link_libraries(vxffglhost PRIVATE vexkit_video vx_host_gl_state vx_host_plugin_module)
set_target_properties(vxffglhost PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
vx_warnings(vxffglhost)

# The host loads the module at run time; build it along. The suites are made
# after this fragment.
function(vx_host_needs_module)
  if(TARGET kelvo)
    add_dependencies(vxffglhost kelvo)
  endif()
  foreach(target vx_tests_engine_ffgl vx_tests_plugin)
    if(TARGET ${target})
      target_link_libraries(${target} PRIVATE vx_host_gl_state)
    endif()
  endforeach()
  if(TARGET vx_tests_engine_ffgl)
    target_link_libraries(vx_tests_engine_ffgl PRIVATE vx_host_plugin_module)
  endif()
endfunction()
cmake_language(DEFER CALL vx_host_needs_module)

# End to end: the host renders the Kelvo module for half a second at 160x90
# and writes every 10th of its 30 frames (test environment of tests/); runs it
# refuses leave the folder alone.
function(vx_host_render_test)
  if(NOT TARGET kelvo OR NOT TARGET vx_test_support)
    return()
  endif()
  get_directory_property(env DIRECTORY ${CMAKE_SOURCE_DIR}/tests DEFINITION VX_TEST_ENV)
  add_test(NAME vxffglhost_renders_kelvo
    COMMAND ${CMAKE_COMMAND}
            -DHOST=$<TARGET_FILE:vxffglhost>
            -DPLUGIN=$<TARGET_FILE:kelvo>
            -DOUT=${CMAKE_BINARY_DIR}/test-output/vxffglhost
            "-DARGS=--size;160x90;--seconds;0.5;--fps;60;--every;10"
            "-DFRAMES=frame-00010.png;frame-00020.png;frame-00030.png"
            -P ${CMAKE_SOURCE_DIR}/cmake/VexkitHostRender.cmake)
  set_tests_properties(vxffglhost_renders_kelvo PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)

  # Runs refused before their first frame leave the folder as it was: a
  # parameter's name mistyped, more frames than the counter holds.
  add_test(NAME vxffglhost_keeps_frames_of_a_refused_run
    COMMAND ${CMAKE_COMMAND}
            -DHOST=$<TARGET_FILE:vxffglhost>
            -DPLUGIN=$<TARGET_FILE:kelvo>
            -DOUT=${CMAKE_BINARY_DIR}/test-output/vxffglhost-refused
            "-DARGS=--size;160x90;--seconds;0.5;--every;10;--set;Amuont=40"
            -DEXIT=1 -DERROR=Amuont
            -P ${CMAKE_SOURCE_DIR}/cmake/VexkitHostRender.cmake)
  add_test(NAME vxffglhost_refuses_more_frames_than_it_counts
    COMMAND ${CMAKE_COMMAND}
            -DHOST=$<TARGET_FILE:vxffglhost>
            -DPLUGIN=$<TARGET_FILE:kelvo>
            -DOUT=${CMAKE_BINARY_DIR}/test-output/vxffglhost-too-long
            "-DARGS=--size;160x90;--seconds;4e7;--fps;60"
            -DEXIT=2 "-DERROR=makes 2400000000 frames"
            -P ${CMAKE_SOURCE_DIR}/cmake/VexkitHostRender.cmake)
  set_tests_properties(vxffglhost_keeps_frames_of_a_refused_run vxffglhost_refuses_more_frames_than_it_counts
    PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()
cmake_language(DEFER CALL vx_host_render_test)
