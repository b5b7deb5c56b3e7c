# The engine is one static library per subsystem ("layer"), each naming the
# layers it may use; the graph has no cycles. A layer's files are those of its
# folders (not their subfolders), plus FILES and minus EXCLUDE (paths relative
# to the source root, without extension: both the .h and the .cpp go).
#
# vx_add_layer(<name> DIRS <folders...> [FILES <stems...>] [EXCLUDE <stems...>]
#              [REGISTRATIONS <stems...>] [USES <layers...>] [LINK <targets...>])
#
# makes vx_<name>, the layer's code, and vexkit_<name>, the layer as programs
# link it (exported as Vexkit::<name>): its code, the vexkit_<layer> of each
# layer it uses, and its REGISTRATIONS, files whose static initialisers fill a
# seam of a lower layer or the engine root's makers (behaviour kinds, image
# decoders, managers): nothing references them, so they go into
# vx_<name>_registrations, which vexkit_<name> links whole. A program links
# the layers it uses and no others, nor the libraries behind them. LINK names
# the layer's outside dependencies once: imported targets of pkg_check_modules
# (PkgConfig::<prefix>) or find_package (<Package>::<target>), or plain
# library names; the installed package finds them again from here.
#
# Every layer is recorded in <build>/layers.cmake for the include check
# (cmake/VexkitCheckLayers.cmake, run as the test vx_layering): a file may
# include headers of its own layer and of the layers its layer uses, directly
# or through others; never one of a layer above it.

include(GNUInstallDirs)

# The name the installed package gives an outside dependency of a layer:
# PkgConfig::<prefix> and <Package>::<target> (but Threads::Threads) become
# Vexkit::outside_<prefix or Package>, which VexkitConfig.cmake makes from its
# own look-ups (cmake/VexkitInstall.cmake), so the package neither takes over
# a consumer's targets of the same name nor sets its variables.
function(vx_outside_dependency_name dependency out)
  if(dependency MATCHES "^PkgConfig::(.+)$" OR
     (dependency MATCHES "^([^:]+)::" AND NOT dependency STREQUAL "Threads::Threads"))
    set(${out} Vexkit::outside_${CMAKE_MATCH_1} PARENT_SCOPE)
  else()
    set(${out} ${dependency} PARENT_SCOPE)
  endif()
endfunction()

set(VX_LAYER_MANIFEST ${CMAKE_BINARY_DIR}/layers.cmake)
file(WRITE ${VX_LAYER_MANIFEST} "# Written by cmake/VexkitLayers.cmake.\n")
set_property(GLOBAL PROPERTY VX_LAYERS "")
set_property(GLOBAL PROPERTY VX_LAYER_TARGETS "")
set_property(GLOBAL PROPERTY VX_LAYER_DEPENDENCIES "")

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
  target_include_directories(vx_${name} ${scope}
    $<BUILD_INTERFACE:${root}/source> $<BUILD_INTERFACE:${CMAKE_BINARY_DIR}/generated>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/vexkit>)
  target_compile_features(vx_${name} ${scope} cxx_std_20)
  foreach(used ${LAYER_USES})
    target_link_libraries(vx_${name} ${scope} vx_${used})
  endforeach()
  foreach(dependency ${LAYER_LINK})
    vx_outside_dependency_name(${dependency} installed)
    target_link_libraries(vx_${name} ${scope}
      "$<BUILD_INTERFACE:${dependency}>" "$<INSTALL_INTERFACE:${installed}>")
  endforeach()

  add_library(vexkit_${name} INTERFACE)
  set_target_properties(vexkit_${name} PROPERTIES EXPORT_NAME ${name})
  target_link_libraries(vexkit_${name} INTERFACE vx_${name})
  foreach(used ${LAYER_USES})
    target_link_libraries(vexkit_${name} INTERFACE vexkit_${used})
  endforeach()

  set(registrations "")
  foreach(stem ${LAYER_REGISTRATIONS})
    list(APPEND registrations ${root}/${stem}.cpp)
    list(APPEND files ${root}/${stem}.cpp)
  endforeach()
  set(targets vx_${name} vexkit_${name})
  if(registrations)
    add_library(vx_${name}_registrations STATIC ${registrations})
    target_link_libraries(vx_${name}_registrations PUBLIC vx_${name})
    vx_warnings(vx_${name}_registrations)
    # The installed package names the archive by its exported name.
    target_link_libraries(vexkit_${name} INTERFACE
      "$<BUILD_INTERFACE:$<LINK_LIBRARY:WHOLE_ARCHIVE,vx_${name}_registrations>>"
      "$<INSTALL_INTERFACE:$<LINK_LIBRARY:WHOLE_ARCHIVE,Vexkit::vx_${name}_registrations>>")
    list(APPEND targets vx_${name}_registrations)
  endif()

  set_property(GLOBAL APPEND PROPERTY VX_LAYERS ${name})
  set_property(GLOBAL APPEND PROPERTY VX_LAYER_TARGETS ${targets})
  set_property(GLOBAL APPEND PROPERTY VX_LAYER_DEPENDENCIES ${LAYER_LINK})
  file(APPEND ${VX_LAYER_MANIFEST}
    "set(VX_LAYER_${name}_USES \"${LAYER_USES}\")\nset(VX_LAYER_${name}_FILES \"${files}\")\n")
endfunction()

# vexkit: what users link, the sum of every layer (static), or with
# BUILD_SHARED_LIBS one shared library of them all that exports the engine's
# own symbols only. Call once, after the last layer.
function(vx_add_engine)
  get_property(layers GLOBAL PROPERTY VX_LAYERS)
  file(APPEND ${VX_LAYER_MANIFEST} "set(VX_LAYERS \"${layers}\")\n")

  if(BUILD_SHARED_LIBS)
    add_library(vexkit SHARED)
    vx_link_shared_engine(vexkit)
    set_target_properties(vexkit PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
    # Consumers need the headers only; the outside libraries come along as
    # the shared library's own dependencies.
    target_include_directories(vexkit INTERFACE
      $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/source> $<BUILD_INTERFACE:${CMAKE_BINARY_DIR}/generated>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/vexkit>)
    target_compile_features(vexkit INTERFACE cxx_std_20)
  else()
    add_library(vexkit INTERFACE)
    foreach(layer ${layers})
      target_link_libraries(vexkit INTERFACE vexkit_${layer})
    endforeach()
  endif()
endfunction()

# Makes the shared library <target> (made by the caller) of every layer, linked
# whole, exporting what the installed headers declare: the names of namespaces
# vx and qmv, the FFGL authoring classes and functions of the global namespace;
# with each their vtables, type information, guards, function-local statics
# and thunks (const members and covariant returns too). Nothing else: the
# libraries compiled in (stb) stay inside.
function(vx_link_shared_engine target)
  get_property(layers GLOBAL PROPERTY VX_LAYERS)
  set(source ${CMAKE_BINARY_DIR}/generated/${target}_shared.cpp)
  set(exports ${CMAKE_BINARY_DIR}/generated/${target}_shared.exports)
  file(WRITE ${source} "// The shared engine is its layers, linked whole.\n")
  set(names "")
  # Mangled nested names: N2vx (namespace vx), NK2vx (its const members).
  foreach(scope 2vx 3qmv 5VXApp 9VXFFGLApp 12VXFFGLPlugin 15CFFGLPluginInfo 18CFFGLPluginManager
                18CFreeFrameGLPlugin)
    # Functions and variables, vtables, type information and its name, VTTs,
    # guards (of function-local statics too), function-local statics and
    # thread-local wrappers.
    foreach(prefix _ZN _ZNK _ZTVN _ZTIN _ZTSN _ZTTN _ZGVN _ZGVZN _ZGVZNK _ZZN _ZZNK _ZTHN _ZTWN)
      list(APPEND names ${prefix}${scope}*)
    endforeach()
    # Thunks: this-adjusting, virtual and covariant-return.
    foreach(thunk _ZTh _ZTv _ZTc)
      list(APPEND names ${thunk}*N${scope}* ${thunk}*NK${scope}*)
    endforeach()
  endforeach()
  # Classes of the global namespace outside any nesting: vtables and type
  # information of the authoring classes.
  foreach(class 5VXApp 9VXFFGLApp 12VXFFGLPlugin 15CFFGLPluginInfo 18CFFGLPluginManager 18CFreeFrameGLPlugin)
    list(APPEND names _ZTV${class} _ZTI${class} _ZTS${class})
  endforeach()
  # Functions of the global namespace: the entry point and the plugin
  # information, the DXTR coder and the buffer-object helper.
  list(APPEND names plugMain g_CurrPluginInfo _Z[0-9]*DXTR_* _Z[0-9]*vxCreateBufferObject*)
  file(WRITE ${exports} "{\n  global:\n")
  foreach(name ${names})
    file(APPEND ${exports} "    ${name};\n")
  endforeach()
  file(APPEND ${exports} "  local: *;\n};\n")
  target_sources(${target} PRIVATE ${source})
  target_link_options(${target} PRIVATE -Wl,--version-script=${exports})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${exports})
  # Every archive whole (the layers link one another too, so this goes
  # around CMake's link features), then the layers for their own libraries.
  set(whole "")
  foreach(layer ${layers})
    foreach(archive vx_${layer}_registrations vx_${layer})
      if(TARGET ${archive})
        get_target_property(type ${archive} TYPE)
        if(type STREQUAL "STATIC_LIBRARY")
          list(APPEND whole $<TARGET_FILE:${archive}>)
        endif()
        target_link_libraries(${target} PRIVATE ${archive})
      endif()
    endforeach()
  endforeach()
  target_link_options(${target} PRIVATE -Wl,--whole-archive ${whole} -Wl,--no-whole-archive)
endfunction()
