# Run with -P by the test vx_install (cmake/VexkitInstall.cmake): installs the
# build BUILD into a fresh prefix under OUT and moves it (OUT/prefix; the
# tests vx_install_* use it after this one), then
# - checks that no installed CMake or pkg-config file names the build or
#   source tree (SOURCE) or the folder it was installed into;
# - builds the consumer project (SOURCE/tests/install/consumer) once through
#   find_package(Vexkit), beside targets and variables of its own named as
#   the engine's dependencies, and once with `pkg-config --cflags --libs
#   vexkit` (compiler CXX, extra compile and link flags FLAGS) and runs each;
# - reads the installed Kelvo's and host's dynamic dependencies: DT_NEEDED
#   must name only what the plugin's module flags need, and ldd no media
#   library;
# - runs the installed vxffglhost over the installed Kelvo with an empty
#   library path and the loader reporting every file it maps: frames are
#   written and no media library is loaded.

include(${CMAKE_CURRENT_LIST_DIR}/VexkitInstallRun.cmake)

set(prefix ${OUT}/prefix)
set(installedPrefix ${OUT}/installed)
file(REMOVE_RECURSE ${OUT})
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${installedPrefix})
file(RENAME ${installedPrefix} ${prefix})

file(GLOB_RECURSE descriptions ${prefix}/*.cmake ${prefix}/*.pc)
foreach(installed ${descriptions})
  file(READ ${installed} text)
  foreach(tree ${BUILD} ${SOURCE} ${installedPrefix})
    string(FIND "${text}" "${tree}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${installed} names ${tree}")
    endif()
  endforeach()
endforeach()

# Through the CMake package.
separate_arguments(flags UNIX_COMMAND "${FLAGS}")
run("configuring the consumer" ${CMAKE_COMMAND} -S ${SOURCE}/tests/install/consumer -B ${OUT}/consumer -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
run("building the consumer" ${CMAKE_COMMAND} --build ${OUT}/consumer)
run("the find_package consumer" ${OUT}/consumer/vexkit_consumer)

# Through pkg-config, as a Makefile would.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run("pkg-config" pkg-config --cflags --libs vexkit)
separate_arguments(pkgFlags UNIX_COMMAND "${output}")
run("building the pkg-config consumer" ${CXX} ${flags} ${SOURCE}/tests/install/consumer/VXConsumer.cpp
    ${pkgFlags} -o ${OUT}/pkg-config-consumer)
# A shared engine outside the loader's folders is found as a user would.
set(ENV{LD_LIBRARY_PATH} ${prefix}/${LIBDIR})
run("the pkg-config consumer" ${OUT}/pkg-config-consumer)

# What the plugin (module flags 3) and the host may depend on: the C and C++
# runtimes, GL through epoxy and EGL, libpng and zlib for the embedded
# pictures, and the sanitizer runtimes of a sanitized build.
set(allowed "^(libc|libm|libstdc\\+\\+|libgcc_s|libpthread|libdl|ld-linux-[a-z0-9-]+|libepoxy|libEGL|libpng16|libz|libasan|libubsan|libclang_rt\\.asan-x86_64)\\.so")
set(media "(libav[a-z]*|libsw[a-z]*|libpostproc|libx264|libx265|libdav1d|libavahi[a-z-]*|libdns_sd|libtiff|libgif|liblz4|liblzf|libsnappy)\\.so")
set(pluginDir ${PLUGIN_DIR})
if(NOT IS_ABSOLUTE ${pluginDir})
  set(pluginDir ${prefix}/${pluginDir})
endif()
set(plugin ${pluginDir}/Kelvo.bundle/Contents/MacOS/Kelvo)
set(host ${prefix}/bin/vxffglhost)
foreach(binary ${plugin} ${host})
  run("readelf" readelf -d ${binary})
  string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${output}")
  foreach(entry ${needed})
    string(REGEX REPLACE "Shared library: \\[(.+)\\]" "\\1" library "${entry}")
    if(NOT library MATCHES "${allowed}")
      message(FATAL_ERROR "${binary} needs ${library}, which its module flags do not")
    endif()
  endforeach()
  run("ldd" ldd ${binary})
  if(output MATCHES "${media}")
    message(FATAL_ERROR "${binary} loads ${CMAKE_MATCH_0}:\n${output}")
  endif()
endforeach()

# The installed host finds the installed Kelvo by itself.
file(MAKE_DIRECTORY ${OUT}/no-libraries)
set(ENV{LD_LIBRARY_PATH} ${OUT}/no-libraries)
set(ENV{LD_DEBUG} files)
run("the installed vxffglhost" ${host} --out ${OUT}/frames --size 64x36 --seconds 0.1 --fps 30 --every 3)
unset(ENV{LD_DEBUG})
if(output MATCHES "file=([^ ]*${media})")
  message(FATAL_ERROR "vxffglhost loaded ${CMAKE_MATCH_1} with Kelvo")
endif()
if(NOT output MATCHES "file=[^ ]*Kelvo")
  message(FATAL_ERROR "vxffglhost did not load the installed Kelvo:\n${output}")
endif()
file(GLOB frames ${OUT}/frames/*.png)
list(LENGTH frames count)
if(count EQUAL 0)
  message(FATAL_ERROR "vxffglhost wrote no frame")
endif()
message("Installed, consumed through CMake and pkg-config; Kelvo renders without the media libraries")
