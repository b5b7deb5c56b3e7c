# vexkit_add_ffgl_plugin(<target> [BUNDLE <name>] [LINK <targets...>] <sources...>)
#
# An FFGL effect as a module of its own: <name>.bundle/Contents/MacOS/<name>
# under the current binary folder (<name> defaults to <target>), linked to
# Vexkit::ffgl and the static layers LINK adds (not the shared engine). plugMain lives in the
# engine's archive and nothing an effect writes references it, so the link
# pulls it in. The module carries its own copy of the engine and binds every
# symbol of it inside itself (hidden visibility, -Bsymbolic, all but plugMain
# local): two effects in one host, or a host that links the engine too, never
# share a symbol. Part of the installed package; Kelvo is built through it.

function(vexkit_add_ffgl_plugin target)
  cmake_parse_arguments(PARSE_ARGV 1 PLUGIN "" "BUNDLE" "LINK")
  set(bundle ${target})
  if(PLUGIN_BUNDLE)
    set(bundle ${PLUGIN_BUNDLE})
  endif()
  set(link Vexkit::ffgl ${PLUGIN_LINK})
  # A shared engine holds one plugMain and one plugin information for every
  # effect linked to it.
  foreach(linked ${link})
    if(TARGET ${linked})
      get_target_property(type ${linked} TYPE)
      if(type STREQUAL "SHARED_LIBRARY")
        message(FATAL_ERROR "vexkit_add_ffgl_plugin(${target}): ${linked} is the shared engine; "
                            "an effect links the static layers (Vexkit::ffgl, Vexkit::<layer>)")
      endif()
    endif()
  endforeach()
  if(NOT PLUGIN_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vexkit_add_ffgl_plugin(${target}): no sources")
  endif()
  set(exports ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/VexkitFFGLPlugin.exports)
  add_library(${target} MODULE ${PLUGIN_UNPARSED_ARGUMENTS})
  target_link_libraries(${target} PRIVATE ${link})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${bundle}
    PREFIX ""
    SUFFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${bundle}.bundle/Contents/MacOS
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(${target} PRIVATE
    -Wl,--undefined=plugMain
    -Wl,-Bsymbolic
    -Wl,--version-script=${exports}
    -Wl,--no-undefined)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${exports})
endfunction()
