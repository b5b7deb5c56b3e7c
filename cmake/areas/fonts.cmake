# The built-in fonts' TrueType face (DejaVu Sans, from fonts-dejavu-core) is
# embedded unmodified as the byte array vx::uni9_data, generated into the
# build tree. Run with -P this file turns INPUT into the source OUTPUT.

if(CMAKE_SCRIPT_MODE_FILE)
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR byteCount "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  file(WRITE "${OUTPUT}.tmp"
    "// Generated from ${INPUT}; do not edit.\n"
    "namespace vx\n{\n"
    "extern const unsigned char uni9_data[];\n"
    "extern const unsigned int uni9_data_size;\n"
    "const unsigned char uni9_data[] = {\n${bytes}\n};\n"
    "const unsigned int uni9_data_size = ${byteCount};\n"
    "} // namespace vx\n")
  file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
  return()
endif()

if(VX_SANITIZE STREQUAL "tsan")
  return()  # the threading build has no graphics
endif()

find_file(VX_FONT_FACE DejaVuSans.ttf
  PATHS /usr/share/fonts/truetype/dejavu
  NO_DEFAULT_PATH)
if(NOT VX_FONT_FACE)
  message(FATAL_ERROR "DejaVuSans.ttf not found: install fonts-dejavu-core")
endif()

set(VX_FONT_FACE_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/generated/VXFontFaceData.cpp)
add_custom_command(
  OUTPUT ${VX_FONT_FACE_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${VX_FONT_FACE} -DOUTPUT=${VX_FONT_FACE_SOURCE}
          -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${VX_FONT_FACE} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Embedding the font face ${VX_FONT_FACE}"
  VERBATIM)
target_sources(vexkit PRIVATE ${VX_FONT_FACE_SOURCE})

include(${CMAKE_CURRENT_SOURCE_DIR}/tools/fontblobs/fontblobs.cmake)
