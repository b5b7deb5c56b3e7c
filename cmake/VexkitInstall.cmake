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
# library names.
set(VX_CONFIG_DEPENDENCIES "")
set(VX_PC_MODULES "")
set(VX_PC_LIBS "")
foreach(dependency ${VX_OUTSIDE_DEPENDENCIES})
  if(dependency MATCHES "^PkgConfig::(.+)$")
    set(prefix ${CMAKE_MATCH_1})
    set(modules ${__pkg_config_arguments_${prefix}})
    list(REMOVE_ITEM modules REQUIRED QUIET IMPORTED_TARGET GLOBAL NO_CMAKE_PATH NO_CMAKE_ENVIRONMENT_PATH)
    list(JOIN modules " " shown)
    string(APPEND VX_CONFIG_DEPENDENCIES
      "if(NOT TARGET ${dependency})\n"
      "  pkg_check_modules(${prefix} QUIET IMPORTED_TARGET ${shown})\n"
      "  if(NOT ${prefix}_FOUND)\n"
      "    set(Vexkit_FOUND FALSE)\n"
      "    set(Vexkit_NOT_FOUND_MESSAGE \"pkg-config finds no ${shown}\")\n"
      "    return()\n"
      "  endif()\n"
      "endif()\n")
    list(APPEND VX_PC_MODULES ${modules})
    foreach(library ${${prefix}_LIBRARIES})
      list(APPEND VX_PC_LIBS -l${library})
    endforeach()
  elseif(dependency STREQUAL "Threads::Threads")
    string(APPEND VX_CONFIG_DEPENDENCIES "find_dependency(Threads)\n")
    list(APPEND VX_PC_LIBS -pthread)
  elseif(dependency MATCHES "^([^:]+)::")
    string(APPEND VX_CONFIG_DEPENDENCIES "find_dependency(${CMAKE_MATCH_1})\n")
    get_target_property(location ${dependency} IMPORTED_LOCATION)
    if(NOT location)
      message(FATAL_ERROR "vexkit.pc: ${dependency} names no library file")
    endif()
    get_filename_component(library ${location} NAME)
    string(REGEX REPLACE "^lib([^.]+)\\..*$" "\\1" library ${library})
    list(APPEND VX_PC_LIBS -l${library})
  else()
    list(APPEND VX_PC_LIBS -l${dependency})
  endif()
endforeach()
list(REMOVE_DUPLICATES VX_PC_LIBS)

set(VX_CONFIG_FILE ${CMAKE_BINARY_DIR}/generated/VexkitConfig.cmake)
list(JOIN VX_INSTALLED_LAYERS " " shown)
file(WRITE ${VX_CONFIG_FILE}
  "# Vexkit's package: Vexkit::vexkit, the whole engine, and Vexkit::<layer>, a\n"
  "# layer with those it uses (layers: ${shown}).\n"
  "include(CMakeFindDependencyMacro)\n"
  "find_dependency(PkgConfig)\n"
  "${VX_CONFIG_DEPENDENCIES}"
  "include(\${CMAKE_CURRENT_LIST_DIR}/VexkitTargets.cmake)\n")
write_basic_package_version_file(${CMAKE_BINARY_DIR}/generated/VexkitConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(EXPORT VexkitTargets NAMESPACE Vexkit:: DESTINATION ${VX_CMAKE_INSTALL_DIR})
install(FILES ${VX_CONFIG_FILE} ${CMAKE_BINARY_DIR}/generated/VexkitConfigVersion.cmake
  DESTINATION ${VX_CMAKE_INSTALL_DIR})

# vexkit.pc. The static engine's Libs carry the registrations whole, the
# layers as one group and the outside libraries (so --libs alone links); the
# shared one is one library.
if(BUILD_SHARED_LIBS)
  set(VX_PC_ENGINE "-lvexkit")
  list(JOIN VX_PC_LIBS " " VX_PC_PRIVATE_LIBS)
  set(VX_PC_LIBS "")
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
  set(VX_PC_ENGINE "-Wl,--whole-archive ${whole} -Wl,--no-whole-archive -Wl,--start-group ${grouped} -Wl,--end-group")
  set(VX_PC_PRIVATE_LIBS "")
endif()
list(JOIN VX_PC_LIBS " " VX_PC_LIBS)
list(JOIN VX_PC_MODULES " " VX_PC_MODULES)
file(RELATIVE_PATH VX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" VX_PC_TO_PREFIX ${VX_PC_TO_PREFIX})
file(WRITE ${CMAKE_BINARY_DIR}/generated/vexkit.pc
  "prefix=\${pcfiledir}/${VX_PC_TO_PREFIX}\n"
  "libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}\n"
  "includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/vexkit\n"
  "\n"
  "Name: Vexkit\n"
  "Description: Real-time video engine\n"
  "Version: ${PROJECT_VERSION}\n"
  "Requires.private: ${VX_PC_MODULES}\n"
  "Cflags: -std=c++20 -I\${includedir}\n"
  "Libs: -L\${libdir} ${VX_PC_ENGINE} ${VX_PC_LIBS}\n"
  "Libs.private: ${VX_PC_PRIVATE_LIBS}\n")
install(FILES ${CMAKE_BINARY_DIR}/generated/vexkit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Kelvo bundle and the headless host, which finds the installed bundle.
if(TARGET kelvo)
  install(TARGETS kelvo LIBRARY DESTINATION ${VX_FFGL_INSTALL_DIR}/Kelvo.bundle/Contents/MacOS)
endif()
if(TARGET vxffglhost)
  install(TARGETS vxffglhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  target_compile_definitions(vxffglhost PRIVATE VX_INSTALLED_PLUGIN_DIR="${VX_FFGL_INSTALL_DIR}")
endif()

# The test of all of the above: a fresh install, consumed as other projects
# do, and Kelvo run from it (test environment of tests/). It reuses this
# build: everything must be built first.
function(vx_install_test)
  if(NOT TARGET kelvo OR NOT TARGET vxffglhost OR NOT TARGET vx_test_support)
    return()
  endif()
  get_directory_property(env DIRECTORY ${CMAKE_SOURCE_DIR}/tests DEFINITION VX_TEST_ENV)
  set(flags "")
  if(VX_SANITIZE STREQUAL "asan-ubsan")
    set(flags "-fsanitize=address,undefined,float-cast-overflow")
  endif()
  add_test(NAME vx_install
    COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DSOURCE=${CMAKE_SOURCE_DIR}
            -DOUT=${CMAKE_BINARY_DIR}/test-output/install -DCXX=${CMAKE_CXX_COMPILER} "-DFLAGS=${flags}"
            -DPLUGIN_DIR=${VX_FFGL_INSTALL_DIR} -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -P ${CMAKE_SOURCE_DIR}/cmake/VexkitInstallCheck.cmake)
  set_tests_properties(vx_install PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600)
endfunction()
cmake_language(DEFER CALL vx_install_test)
