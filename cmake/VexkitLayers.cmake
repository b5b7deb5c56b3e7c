# The engine is one static library per subsystem ("layer"), each naming the
# layers it may use; the graph has no cycles. A layer's files are those of its
# folders (not their subfolders), plus FILES and minus EXCLUDE (paths relative
# to the source root, without extension: both the .h and the .cpp go).
#
# vx_add_layer(<name> DIRS <folders...> [FILES <stems...>] [EXCLUDE <stems...>]
#              [REGISTRATIONS <stems...>] [USES <layers...>] [LINK <targets...>])
#
# makes vx_<name>. REGISTRATIONS are files whose static initialisers fill a
# seam of a lower layer (behaviour kinds, image decoders): nothing references
# them, so they go into vx_registrations, which the engine links whole.
#
# Every layer is recorded in <build>/layers.cmake for the include check
# (cmake/VexkitCheckLayers.cmake, run as the test vx_layering): a file may
# include headers of its own layer and of the layers its layer uses, directly
# or through others; never one of a layer above it.

set(VX_LAYER_MANIFEST ${CMAKE_BINARY_DIR}/layers.cmake)
file(WRITE ${VX_LAYER_MANIFEST} "# Written by cmake/VexkitLayers.cmake.\n")
set_property(GLOBAL PROPERTY VX_LAYERS "")
set_property(GLOBAL PROPERTY VX_REGISTRATION_SOURCES "")

function(vx_add_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "" "DIRS;FILES;EXCLUDE;REGISTRATIONS;USES;LINK")
  set(root ${CMAKE_SOURCE_DIR})
  set(files "")
  foreach(dir ${LAYER_DIRS})
    file(GLOB found CONFIGURE_DEPENDS ${root}/${dir}/*.cpp ${root}/${dir}/*.c ${root}/${dir}/*.h)
    list(APPEND files ${found})
  endforeach()
  foreach(stem ${LAYER_FILES} ${LAYER_REGISTRATIONS})
    file(GLOB found CONFIGURE_DEPENDS ${root}/${stem}.h ${root}/${stem}.cpp)
    list(APPEND files ${found})
  endforeach()
  foreach(stem ${LAYER_EXCLUDE} ${LAYER_REGISTRATIONS})
    list(REMOVE_ITEM files ${root}/${stem}.h ${root}/${stem}.cpp)
  endforeach()
  list(REMOVE_DUPLICATES files)

  set(sources ${files})
  list(FILTER sources INCLUDE REGEX "\\.(cpp|c)$")
  if(sources)
    add_library(vx_${name} STATIC ${sources})
    set(scope PUBLIC)
    vx_warnings(vx_${name})
  else()
    add_library(vx_${name} INTERFACE)  # headers only, so far
    set(scope INTERFACE)
  endif()
  target_include_directories(vx_${name} ${scope} ${root}/source ${CMAKE_BINARY_DIR}/generated)
  foreach(used ${LAYER_USES})
    target_link_libraries(vx_${name} ${scope} vx_${used})
  endforeach()
  if(LAYER_LINK)
    target_link_libraries(vx_${name} ${scope} ${LAYER_LINK})
  endif()

  set(registrations "")
  foreach(stem ${LAYER_REGISTRATIONS})
    list(APPEND registrations ${root}/${stem}.cpp)
    list(APPEND files ${root}/${stem}.cpp)
  endforeach()
  if(registrations)
    set_property(GLOBAL APPEND PROPERTY VX_REGISTRATION_SOURCES ${registrations})
    set_property(GLOBAL APPEND PROPERTY VX_REGISTRATION_LAYERS vx_${name})
  endif()

  set_property(GLOBAL APPEND PROPERTY VX_LAYERS ${name})
  file(APPEND ${VX_LAYER_MANIFEST}
    "set(VX_LAYER_${name}_USES \"${LAYER_USES}\")\nset(VX_LAYER_${name}_FILES \"${files}\")\n")
endfunction()

# vexkit: what users link, the sum of every layer, with the registrations
# linked whole. Call once, after the last layer.
function(vx_add_engine)
  get_property(layers GLOBAL PROPERTY VX_LAYERS)
  get_property(registrations GLOBAL PROPERTY VX_REGISTRATION_SOURCES)
  get_property(registrationLayers GLOBAL PROPERTY VX_REGISTRATION_LAYERS)
  file(APPEND ${VX_LAYER_MANIFEST} "set(VX_LAYERS \"${layers}\")\n")

  add_library(vexkit INTERFACE)
  if(registrations)
    add_library(vx_registrations STATIC ${registrations})
    target_link_libraries(vx_registrations PUBLIC ${registrationLayers})
    vx_warnings(vx_registrations)
    target_link_libraries(vexkit INTERFACE "$<LINK_LIBRARY:WHOLE_ARCHIVE,vx_registrations>")
  endif()
  foreach(layer ${layers})
    target_link_libraries(vexkit INTERFACE vx_${layer})
  endforeach()
endfunction()
