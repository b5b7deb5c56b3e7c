# vx_fontblobs OUTPUT_DIR: bakes the blob fonts from the embedded face with
# the engine's own vx::Font and writes their source headers into OUTPUT_DIR
# (normally source/engine/gfx/fontblobs). A test checks the committed headers
# still match what it bakes.
add_executable(vx_fontblobs ${CMAKE_CURRENT_LIST_DIR}/VXFontBlobs.cpp)
target_link_libraries(vx_fontblobs PRIVATE vexkit)
vx_warnings(vx_fontblobs)
