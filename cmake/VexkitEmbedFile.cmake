# Run with -P by vx_embed_file (VexkitSources.cmake): writes the C++ source
# OUTPUT defining NAME[] (the bytes of INPUT) and NAME_size in NAMESPACE,
# after including HEADER when one is given.

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR byteCount "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
set(include "")
if(HEADER)
  set(include "#include \"${HEADER}\"\n")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "${include}"
  "namespace ${NAMESPACE}\n{\n"
  "extern const unsigned char ${NAME}[];\n"
  "extern const unsigned int ${NAME}_size;\n"
  "const unsigned char ${NAME}[] = {\n${bytes}\n};\n"
  "const unsigned int ${NAME}_size = ${byteCount};\n"
  "} // namespace ${NAMESPACE}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
