# The built-in fonts' TrueType face (DejaVu Sans, from fonts-dejavu-core) is
# embedded unmodified as the byte array vx::uni9_data, generated into the
# build tree.

find_file(VX_FONT_FACE DejaVuSans.ttf
  PATHS /usr/share/fonts/truetype/dejavu
  NO_DEFAULT_PATH)
if(NOT VX_FONT_FACE)
  message(FATAL_ERROR "DejaVuSans.ttf not found: install fonts-dejavu-core")
endif()

set(VX_FONT_FACE_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/generated/VXFontFaceData.cpp)
vx_embed_file(${VX_FONT_FACE} ${VX_FONT_FACE_SOURCE} vx uni9_data)
target_sources(vx_gfx PRIVATE ${VX_FONT_FACE_SOURCE})

include(${CMAKE_CURRENT_SOURCE_DIR}/tools/fontblobs/fontblobs.cmake)
