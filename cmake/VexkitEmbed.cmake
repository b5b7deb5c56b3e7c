# vx_embed_file(<input> <output source> <namespace> <name> [HEADER <include>])
# generates at build time the source defining `const unsigned char <name>[]`
# (the input's bytes) and `const unsigned int <name>_size` in the namespace;
# HEADER names a header declaring them, included first.
function(vx_embed_file input output namespace name)
  cmake_parse_arguments(PARSE_ARGV 4 EMBED "" "HEADER" "")
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/VexkitEmbedFile.cmake)
  get_filename_component(inputName ${input} NAME)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DNAMESPACE=${namespace} -DNAME=${name}
            -DHEADER=${EMBED_HEADER} -P ${script}
    DEPENDS ${input} ${script}
    COMMENT "Embedding ${inputName} as ${namespace}::${name}"
    VERBATIM)
  # A target of the command's own, depending on nothing: CMake orders the
  # command only after what all of its users depend on, so no library has to
  # be built before the source is written (scripts/gcc-check compiles files
  # of targets above it without building the engine).
  add_custom_target(vx_embed_${name} DEPENDS ${output})
endfunction()
