# cmake --install: the layers' libraries and vexkit, the public headers under
# <include>/vexkit keeping their folders, the CMake package (Vexkit::vexkit
# and Vexkit::<layer>, with every outside dependency found again), its version
# file, vexkit.pc, the Kelvo bundle and the headless host. The dependencies
# come from the layers' LINK lists (cmake/VexkitLayers.cmake), so a layer's new
# dependency reaches the package and vexkit.pc from where the layer is made.
# Nothing installed names the build tree or this machine's folders.

include(CMakePackageConfigHelpers)

set(VX_FFGL_INSTALL_DIR "lib/ffgl" CACHE STRING
  "Folder the Kelvo.bundle is installed into (relative to the install prefix unless absolute)")
set(VX_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vexkit)

get_property(VX_INSTALLED_LAYERS GLOBAL PROPERTY VX_LAYERS)
get_property(VX_INSTALLED_TARGETS GLOBAL PROPERTY VX_LAYER_TARGETS)
get_property(VX_OUTSIDE_DEPENDENCIES GLOBAL PROPERTY VX_LAYER_DEPENDENCIES)
list(REMOVE_DUPLICATES VX_OUTSIDE_DEPENDENCIES)

install(TARGETS ${VX_INSTALLED_TARGETS} vexkit EXPORT VexkitTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Headers of the engine; the platform stand-ins are no public interface.
install(DIRECTORY source/core source/engine DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexkit
  FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${CMAKE_BINARY_DIR}/generated/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexkit
  FILES_MATCHING PATTERN "*.h")

# Each outside dependency as the package finds it again and as vexkit.pc
# names it: pkg-config modules (pkg_check_modules' imported targets), CMake
# packages (<Package>::<target>, named by their library file) and plain
# library names. The package makes them under names of its own
# (Vexkit::outside_<name>, cmake/VexkitLayers.cmake) inside a function, so a
# consumer's targets and variables stay as they were. A dependency it cannot
# find is linked by its library names, and only programs linking a layer that
# needs it need it: a consumer of Vexkit::ffgl alone needs none of the media
# packages.
set(VX_CONFIG_DEPENDENCIES "")
set(VX_PC_MODULES "")
set(VX_PC_LIBS "")
foreach(dependency ${VX_OUTSIDE_DEPENDENCIES})
  vx_outside_dependency_name(${dependency} installed)
  set(libraries "")
  if(dependency MATCHES "^PkgConfig::(.+)$")
    set(prefix ${CMAKE_MATCH_1})
    set(modules ${__pkg_config_arguments_${prefix}})
    list(REMOVE_ITEM modules REQUIRED QUIET IMPORTED_TARGET GLOBAL NO_CMAKE_PATH NO_CMAKE_ENVIRONMENT_PATH)
    list(JOIN modules " " shown)
    list(APPEND VX_PC_MODULES ${modules})
    set(libraries ${${prefix}_LIBRARIES})
    set(find "if(PKG_CONFIG_FOUND)\n      pkg_check_modules(Vexkit_outside_${prefix} QUIET IMPORTED_TARGET ${shown})\n    endif()")
    set(found "Vexkit_outside_${prefix}_FOUND")
    set(target PkgConfig::Vexkit_outside_${prefix})
  elseif(dependency STREQUAL "Threads::Threads")
    string(APPEND VX_CONFIG_DEPENDENCIES "  find_package(Threads REQUIRED)\n")
    list(APPEND VX_PC_LIBS -pthread)
    continue()
  elseif(dependency MATCHES "^([^:]+)::")
    set(package ${CMAKE_MATCH_1})
    get_target_property(location ${dependency} IMPORTED_LOCATION)
    if(NOT location)
      message(FATAL_ERROR "vexkit.pc: ${dependency} names no library file")
    endif()
    get_filename_component(library ${location} NAME)
    string(REGEX REPLACE "^lib([^.]+)\\..*$" "\\1" library ${library})
    set(libraries ${library})
    set(shown "the CMake package ${package}")
    set(find "find_package(${package} QUIET)")
    set(found "${package}_FOUND")
    set(target ${dependency})
  else()
    list(APPEND VX_PC_LIBS -l${dependency})
    continue()
  endif()
  foreach(library ${libraries})
    list(APPEND VX_PC_LIBS -l${library})
  endforeach()
  string(APPEND VX_CONFIG_DEPENDENCIES
    "  if(NOT TARGET ${installed})\n"
    "    ${find}\n"
    "    add_library(${installed} INTERFACE IMPORTED)\n"
    "    if(${found})\n"
    "      set_target_properties(${installed} PROPERTIES INTERFACE_LINK_LIBRARIES ${target})\n"
    "    else()\n"
    "      message(STATUS \"Vexkit: found no ${shown}; the layers using it link ${libraries}\")\n"
    "      set_target_properties(${installed} PROPERTIES INTERFACE_LINK_LIBRARIES \"${libraries}\")\n"
    "    endif()\n"
    "  endif()\n")
endforeach()
list(REMOVE_DUPLICATES VX_PC_LIBS)

set(VX_CONFIG_FILE ${CMAKE_BINARY_DIR}/generated/VexkitConfig.cmake)
list(JOIN VX_INSTALLED_LAYERS " " shown)
file(WRITE ${VX_CONFIG_FILE}
  "# Vexkit's package: Vexkit::vexkit, the whole engine, and Vexkit::<layer>, a\n"
  "# layer with those it uses (layers: ${shown}); vexkit_add_ffgl_plugin makes\n"
  "# an FFGL effect module (VexkitFFGLPlugin.cmake).\n"
  "# The headers include rapidxml's.\n"
  "find_path(Vexkit_RAPIDXML_INCLUDE_DIR rapidxml/rapidxml.hpp)\n"
  "if(NOT Vexkit_RAPIDXML_INCLUDE_DIR)\n"
  "  set(Vexkit_FOUND FALSE)\n"
  "  set(Vexkit_NOT_FOUND_MESSAGE \"Vexkit's headers need rapidxml (rapidxml/rapidxml.hpp), which is not found\")\n"
  "  return()\n"
  "endif()\n"
  "# The outside libraries, found in a scope of their own.\n"
  "function(_vexkit_find_outside_dependencies)\n"
  "  find_package(PkgConfig QUIET)\n"
  "${VX_CONFIG_DEPENDENCIES}"
  "endfunction()\n"
  "_vexkit_find_outside_dependencies()\n"
  "include(\${CMAKE_CURRENT_LIST_DIR}/VexkitTargets.cmake)\n"
  "include(\${CMAKE_CURRENT_LIST_DIR}/VexkitFFGLPlugin.cmake)\n")
write_basic_package_version_file(${CMAKE_BINARY_DIR}/generated/VexkitConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(EXPORT VexkitTargets NAMESPACE Vexkit:: DESTINATION ${VX_CMAKE_INSTALL_DIR})
install(FILES ${VX_CONFIG_FILE} ${CMAKE_BINARY_DIR}/generated/VexkitConfigVersion.cmake
  cmake/VexkitFFGLPlugin.cmake cmake/VexkitFFGLPlugin.exports DESTINATION ${VX_CMAKE_INSTALL_DIR})

# vexkit.pc. The static engine's Libs carry the registrations whole, the
# layers as one group and the outside libraries (so --libs alone links); the
# shared one is one library, with the outside libraries private but the GL
# loader: effects draw with OpenGL themselves, through the loader the engine
# uses (epoxy), and a module linked with --no-undefined needs it named.
# vx_write_vexkit_pc(<file> <shared>) writes one of either kind.
set(VX_PC_GL_MODULES "")
foreach(dependency ${VX_OUTSIDE_DEPENDENCIES})
  if(dependency STREQUAL "PkgConfig::EPOXY")
    set(VX_PC_GL_MODULES ${__pkg_config_arguments_EPOXY})
    list(REMOVE_ITEM VX_PC_GL_MODULES REQUIRED QUIET IMPORTED_TARGET GLOBAL NO_CMAKE_PATH NO_CMAKE_ENVIRONMENT_PATH)
  endif()
endforeach()
function(vx_write_vexkit_pc file shared)
  set(modules ${VX_PC_MODULES})
  set(libs ${VX_PC_LIBS})
  if(shared)
    set(engine "-lvexkit")
    set(public ${VX_PC_GL_MODULES})
    list(REMOVE_ITEM modules ${public})
    list(JOIN libs " " private)
    set(libs "")
  else()
    set(whole "")
    set(grouped "")
    foreach(layer ${VX_INSTALLED_LAYERS})
      if(TARGET vx_${layer}_registrations)
        list(APPEND whole -lvx_${layer}_registrations)
      endif()
      get_target_property(type vx_${layer} TYPE)
      if(type STREQUAL "STATIC_LIBRARY")
        list(APPEND grouped -lvx_${layer})
      endif()
    endforeach()
    list(JOIN whole " " whole)
    list(JOIN grouped " " grouped)
    set(engine "-Wl,--whole-archive ${whole} -Wl,--no-whole-archive -Wl,--start-group ${grouped} -Wl,--end-group")
    set(public "")
    set(private "")
  endif()
  list(JOIN libs " " libs)
  list(JOIN modules " " modules)
  list(JOIN public " " public)
  file(RELATIVE_PATH toPrefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" toPrefix ${toPrefix})
  file(WRITE ${file}
    "prefix=\${pcfiledir}/${toPrefix}\n"
    "libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}\n"
    "includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/vexkit\n"
    "# The version script of an FFGL effect module: plugMain its only export.\n"
    "ffgl_exports=\${libdir}/cmake/Vexkit/VexkitFFGLPlugin.exports\n"
    "\n"
    "Name: Vexkit\n"
    "Description: Real-time video engine\n"
    "Version: ${PROJECT_VERSION}\n"
    "Requires: ${public}\n"
    "Requires.private: ${modules}\n"
    "Cflags: -std=c++20 -I\${includedir}\n"
    "Libs: -L\${libdir} ${engine} ${libs}\n"
    "Libs.private: ${private}\n")
endfunction()
vx_write_vexkit_pc(${CMAKE_BINARY_DIR}/generated/vexkit.pc "${BUILD_SHARED_LIBS}")
install(FILES ${CMAKE_BINARY_DIR}/generated/vexkit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Kelvo bundle and the headless host, which finds the installed bundle.
if(TARGET kelvo)
  install(TARGETS kelvo LIBRARY DESTINATION ${VX_FFGL_INSTALL_DIR}/Kelvo.bundle/Contents/MacOS)
endif()
if(TARGET vxffglhost)
  install(TARGETS vxffglhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  target_compile_definitions(vxffglhost PRIVATE VX_INSTALLED_PLUGIN_DIR="${VX_FFGL_INSTALL_DIR}")
endif()

# The shared engine of the tests: this build's layers linked whole as
# -DBUILD_SHARED_LIBS=ON links them, with the same exports, so a test links
# programs against it without a second build of the engine.
if(VX_BUILD_TESTS AND NOT BUILD_SHARED_LIBS AND (VX_SANITIZE STREQUAL "" OR VX_SANITIZE STREQUAL "asan-ubsan"))
  add_library(vx_shared_engine SHARED)
  vx_link_shared_engine(vx_shared_engine)
  set_target_properties(vx_shared_engine PROPERTIES OUTPUT_NAME vexkit
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/shared-engine)
  # And the vexkit.pc a shared build installs.
  vx_write_vexkit_pc(${CMAKE_BINARY_DIR}/shared-engine/pkgconfig/vexkit.pc ON)
endif()

# The tests of all of the above: a fresh install, moved, consumed as other
# projects do, and Kelvo run from it (vx_install); effects built against it
# as plugin authors build them and loaded side by side (vx_install_plugins);
# programs and effects linked to the shared engine, one hosted in a chain by
# an application on it (vx_install_shared);
# every installed header compiled on its own (vx_install_headers). The last
# three use the install of the first. They reuse this build: everything must
# be built first. Test environment of tests/.
function(vx_install_test)
  if(NOT TARGET kelvo OR NOT TARGET vxffglhost OR NOT TARGET vx_test_support)
    return()
  endif()
  get_directory_property(env DIRECTORY ${CMAKE_SOURCE_DIR}/tests DEFINITION VX_TEST_ENV)
  list(JOIN VX_SANITIZER_LINK_FLAGS " " flags)
  set(out ${CMAKE_BINARY_DIR}/test-output/install)
  set(common -DBUILD=${CMAKE_BINARY_DIR} -DSOURCE=${CMAKE_SOURCE_DIR} -DOUT=${out} -DCXX=${CMAKE_CXX_COMPILER}
             "-DFLAGS=${flags}" -DLIBDIR=${CMAKE_INSTALL_LIBDIR})
  add_test(NAME vx_install
    COMMAND ${CMAKE_COMMAND} ${common} -DPLUGIN_DIR=${VX_FFGL_INSTALL_DIR}
            -P ${CMAKE_SOURCE_DIR}/cmake/VexkitInstallCheck.cmake)
  set_tests_properties(vx_install PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600 FIXTURES_SETUP vx_installed)
  add_test(NAME vx_install_plugins
    COMMAND ${CMAKE_COMMAND} ${common} -P ${CMAKE_SOURCE_DIR}/cmake/VexkitInstallPlugins.cmake)
  set(tests vx_install_plugins)
  if(TARGET vx_shared_engine)
    add_test(NAME vx_install_shared
      COMMAND ${CMAKE_COMMAND} ${common} -DSHARED=$<TARGET_FILE:vx_shared_engine> -DPLUGIN_DIR=${VX_FFGL_INSTALL_DIR}
              -P ${CMAKE_SOURCE_DIR}/cmake/VexkitInstallShared.cmake)
    list(APPEND tests vx_install_shared)
  endif()
  cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)
  add_test(NAME vx_install_headers
    COMMAND ${CMAKE_COMMAND} ${common} -DJOBS=${jobs} -P ${CMAKE_SOURCE_DIR}/cmake/VexkitInstallHeaders.cmake)
  list(APPEND tests vx_install_headers)
  set_tests_properties(${tests} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600 FIXTURES_REQUIRED vx_installed)
  # Every header compiled takes longer than any program of the suite, and
  # waits for the install: both start first (tests/CMakeLists.txt).
  set_tests_properties(vx_install vx_install_headers PROPERTIES COST 120)
  set_tests_properties(vx_install_plugins PROPERTIES COST 25)
endfunction()
cmake_language(DEFER CALL vx_install_test)
