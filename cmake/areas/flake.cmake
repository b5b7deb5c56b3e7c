# The Kelvo effect's flake sprite, embedded as the byte array
# Pimsel::Flake_png generated into the build tree from the committed
# plugin/resources/flake.png (drawn by vx_flakesprite, tools/flakesprite).

if(VX_SANITIZE STREQUAL "tsan")
  return()  # no graphics in the threading build
endif()

# Redraws the sprite: vx_flakesprite plugin/resources/flake.png
add_executable(vx_flakesprite ${CMAKE_CURRENT_SOURCE_DIR}/tools/flakesprite/VXFlakeSprite.cpp)
target_link_libraries(vx_flakesprite PRIVATE vexkit)
vx_warnings(vx_flakesprite)

set(VX_FLAKE_SPRITE_PNG ${CMAKE_CURRENT_SOURCE_DIR}/plugin/resources/flake.png)
set(VX_FLAKE_SPRITE_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/generated/KelvoFlakeSprite.cpp)
vx_embed_file(${VX_FLAKE_SPRITE_PNG} ${VX_FLAKE_SPRITE_SOURCE} Pimsel Flake_png HEADER FlakeSprite.h)

# The effect's code and its sprite once more, with default visibility, for
# the effect's tests and benchmarks (the module builds its own copy).
if(VX_BUILD_TESTS OR VX_BUILD_BENCH)
  file(GLOB VX_KELVO_EFFECT_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/plugin/*.cpp)
  add_library(kelvo_effect OBJECT ${VX_KELVO_EFFECT_SOURCES} ${VX_FLAKE_SPRITE_SOURCE})
  target_include_directories(kelvo_effect PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/plugin ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(kelvo_effect PUBLIC vexkit)
  vx_warnings(kelvo_effect)
endif()

# The module (cmake/areas/plugin.cmake) and the effect's test and benchmark
# folders are made after this fragment.
function(vx_kelvo_link_effect)
  if(TARGET kelvo)
    target_sources(kelvo PRIVATE ${VX_FLAKE_SPRITE_SOURCE})
  endif()
  foreach(target vx_tests_plugin vx_bench_plugin)
    if(TARGET ${target} AND TARGET kelvo_effect)
      target_link_libraries(${target} PRIVATE kelvo_effect)
    endif()
  endforeach()
endfunction()
cmake_language(DEFER CALL vx_kelvo_link_effect)
