# cmake -DMANIFEST=<build>/layers.cmake -DROOT=<source root> -P VexkitCheckLayers.cmake
#
# Fails when a file of a layer includes a header of a layer it may not use
# (neither its own nor one its layer uses, directly or through others), and
# when the layers' graph has a cycle. Engine headers are included by their
# path below source/ ("engine/gfx/VXTexture.h"). Platform stand-ins
# (source/platform/) compile into the layer they serve, but only they include
# their own headers: engine code reaches them through the engine type they
# implement.

cmake_minimum_required(VERSION 3.20)
include(${MANIFEST})

# Ownership: header or source path -> layer.
foreach(layer ${VX_LAYERS})
  foreach(f ${VX_LAYER_${layer}_FILES})
    file(RELATIVE_PATH rel ${ROOT}/source ${f})
    set(owner_${rel} ${layer})
  endforeach()
endforeach()

# Layers each layer may reach (itself and everything below), with a cycle
# check along the way.
function(reach layer path out)
  if(layer IN_LIST path)
    list(APPEND path ${layer})
    string(REPLACE ";" " -> " shown "${path}")
    message(FATAL_ERROR "The layers' graph has a cycle: ${shown}")
  endif()
  set(all ${layer})
  foreach(used ${VX_LAYER_${layer}_USES})
    if(NOT DEFINED VX_LAYER_${used}_FILES)
      message(FATAL_ERROR "Layer ${layer} uses ${used}, which is not a layer")
    endif()
    reach(${used} "${path};${layer}" below)
    list(APPEND all ${below})
  endforeach()
  list(REMOVE_DUPLICATES all)
  set(${out} ${all} PARENT_SCOPE)
endfunction()

set(violations 0)
foreach(layer ${VX_LAYERS})
  reach(${layer} "" allowed)
  foreach(f ${VX_LAYER_${layer}_FILES})
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      if(NOT DEFINED owner_${header})
        continue()  # not an engine header (generated files, the plugin's own)
      endif()
      set(target ${owner_${header}})
      file(RELATIVE_PATH rel ${ROOT}/source ${f})
      if(header MATCHES "^platform/" AND NOT rel MATCHES "^platform/")
        message("source/${rel}: includes the platform header \"${header}\"; engine code reaches a platform "
                "service only through the engine type it implements")
        math(EXPR violations "${violations} + 1")
      elseif(NOT target IN_LIST allowed)
        message("source/${rel}: layer ${layer} includes \"${header}\" of layer ${target}, which it does not use")
        math(EXPR violations "${violations} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) reach a layer above their own")
endif()
list(LENGTH VX_LAYERS count)
message("Layering holds: ${count} layers, no upward include")
