# FFGL plugin modules: shared modules that export plugMain and nothing else.
#
# A module carries its own copy of the engine and binds every symbol of it
# inside itself (-Bsymbolic, all but plugMain local), so a host that links the
# engine too never mixes the two. The threading build has the hosting tests'
# modules only (its hosting tests load them on several threads); Kelvo and the
# FFGL layer's module need the graphics it leaves out.

include(${CMAKE_SOURCE_DIR}/cmake/VexkitFFGLPlugin.cmake)
# The FFGL layer under its package name, which vexkit_add_ffgl_plugin links.
add_library(Vexkit::ffgl ALIAS vexkit_ffgl)

# vx_add_ffgl_module(<target> <bundle name> [STANDALONE <exports file>]
#                    <sources...>): the module is laid out as
# <bundle name>.bundle/Contents/MacOS/<bundle name> in the build tree. A
# standalone module brings its own plugMain without the engine (only the
# protocol header) and exports what its exports file lists. Others are made
# as the package makes plugin authors' (vexkit_add_ffgl_plugin): they link
# the FFGL layer and what it stands on, no more: the root they make with
# flags 3 needs none of the layers whose managers it makes through makers
# (files, devices, sources) nor the network layer, so the module needs none
# of their libraries.
#
# Clang's ThreadSanitizer runtime links only statically, into the host: its
# symbols are left undefined in a module of the threading build (after
# --no-undefined, -z undefs), which the other builds check.
function(vx_add_ffgl_module target bundle)
  cmake_parse_arguments(PARSE_ARGV 2 MODULE "" "STANDALONE" "")
  if(NOT MODULE_STANDALONE)
    vexkit_add_ffgl_plugin(${target} BUNDLE ${bundle} ${MODULE_UNPARSED_ARGUMENTS})
    vx_module_leaves_tsan_to_host(${target})
    vx_warnings(${target})
    return()
  endif()
  add_library(${target} MODULE ${MODULE_UNPARSED_ARGUMENTS})
  target_link_libraries(${target} PRIVATE vx_ffglprotocol PkgConfig::EPOXY)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${bundle}
    PREFIX ""
    SUFFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${bundle}.bundle/Contents/MacOS
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(${target} PRIVATE
    -Wl,-Bsymbolic
    -Wl,--version-script=${MODULE_STANDALONE}
    -Wl,--no-undefined)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${MODULE_STANDALONE})
  vx_module_leaves_tsan_to_host(${target})
  vx_warnings(${target})
endfunction()

function(vx_module_leaves_tsan_to_host target)
  if(VX_SANITIZE STREQUAL "tsan" AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_link_options(${target} PRIVATE -Wl,-z,undefs)
  endif()
endfunction()

# The Kelvo effect, once its sources are in place.
file(GLOB VX_KELVO_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/plugin/*.cpp)
if(VX_KELVO_SOURCES AND NOT VX_SANITIZE STREQUAL "tsan")
  vx_add_ffgl_module(kelvo Kelvo ${VX_KELVO_SOURCES})
  target_include_directories(kelvo PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/plugin)
endif()

# A small effect of the FFGL layer's tests, built the same way, so the
# layer's module mechanics are tested whatever the effect does.
file(GLOB VX_FFGL_TEST_MODULE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/engine/ffgl/module/*.cpp)
if(VX_BUILD_TESTS AND VX_FFGL_TEST_MODULE_SOURCES AND NOT VX_SANITIZE STREQUAL "tsan")
  vx_add_ffgl_module(vx_ffgl_test_module VXFFGLTestEffect ${VX_FFGL_TEST_MODULE_SOURCES})
  target_include_directories(vx_ffgl_test_module PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
endif()

# An effect whose display texts are curved and coarse, for the host's
# setting of parameters in their own units.
file(GLOB VX_FFGL_DISPLAY_MODULE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/engine/ffgl/displays/*.cpp)
if(VX_BUILD_TESTS AND VX_FFGL_DISPLAY_MODULE_SOURCES AND NOT VX_SANITIZE STREQUAL "tsan")
  vx_add_ffgl_module(vx_ffgl_display_module VXDisplayEffect ${VX_FFGL_DISPLAY_MODULE_SOURCES})
endif()

# The recording plugin of the hosting tests and benchmarks: it answers as
# the test scripts it through vxRecorder, exported beside plugMain.
if(VX_BUILD_TESTS OR VX_BUILD_BENCH)
  set(VX_RECORDER_EXPORTS ${CMAKE_CURRENT_BINARY_DIR}/generated/ffgl_recorder.exports)
  file(WRITE ${VX_RECORDER_EXPORTS} "{\n  global: plugMain; vxRecorder;\n  local: *;\n};\n")
  vx_add_ffgl_module(vx_ffgl_recorder VXRecordingPlugin STANDALONE ${VX_RECORDER_EXPORTS}
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/engine/renderpasses/recorder/VXRecordingPlugin.cpp)
  target_include_directories(vx_ffgl_recorder PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  add_library(vx_ffgl_no_entry MODULE ${CMAKE_CURRENT_SOURCE_DIR}/tests/engine/renderpasses/recorder/VXNoEntryModule.cpp)
endif()

# The test suites are made after this fragment: hand them the module paths
# once they exist, and build the modules first.
function(vx_wire_ffgl_module_tests)
  foreach(suite vx_tests_engine_renderpasses vx_bench_engine_renderpasses)
    if(TARGET ${suite} AND TARGET vx_ffgl_recorder)
      add_dependencies(${suite} vx_ffgl_recorder)
      target_include_directories(${suite} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
      add_dependencies(${suite} vx_ffgl_no_entry)
      target_compile_definitions(${suite} PRIVATE
        VX_FFGL_RECORDER_PATH="$<TARGET_FILE:vx_ffgl_recorder>"
        VX_FFGL_NO_ENTRY_PATH="$<TARGET_FILE:vx_ffgl_no_entry>")
      if(TARGET kelvo)
        add_dependencies(${suite} kelvo)
        target_compile_definitions(${suite} PRIVATE VX_KELVO_MODULE_PATH="$<TARGET_FILE:kelvo>")
      endif()
    endif()
  endforeach()
  if(NOT TARGET vx_tests_engine_ffgl)
    return()
  endif()
  if(TARGET kelvo)
    add_dependencies(vx_tests_engine_ffgl kelvo)
    target_compile_definitions(vx_tests_engine_ffgl PRIVATE VX_KELVO_MODULE_PATH="$<TARGET_FILE:kelvo>")
  endif()
  if(TARGET vx_ffgl_display_module)
    add_dependencies(vx_tests_engine_ffgl vx_ffgl_display_module)
    target_compile_definitions(vx_tests_engine_ffgl PRIVATE
      VX_FFGL_DISPLAY_MODULE_PATH="$<TARGET_FILE:vx_ffgl_display_module>")
  endif()
  if(TARGET vx_ffgl_test_module)
    add_dependencies(vx_tests_engine_ffgl vx_ffgl_test_module)
    target_compile_definitions(vx_tests_engine_ffgl PRIVATE
      VX_FFGL_TEST_MODULE_PATH="$<TARGET_FILE:vx_ffgl_test_module>")
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL vx_wire_ffgl_module_tests)
