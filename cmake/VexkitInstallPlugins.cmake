# Run with -P by the test vx_install_plugins, after vx_install has installed
# and moved the prefix OUT/prefix: FFGL effects as plugin authors build them
# against it (compiler CXX, flags FLAGS), and a host (SOURCE/tests/install/
# host) loading them side by side.
# - Two effects of one source (SOURCE/tests/install/effect) through the
#   package's vexkit_add_ffgl_plugin, laid out as bundles, with pkg-config
#   knowing none of the media libraries; each exports plugMain alone. A
#   third of them adds the movie layer (LINK), which the package then links
#   by its libraries' names, and asks it for a reader.
# - A fourth through pkg-config, with the flags README.md gives.
# - The host loads the two, then all four, together with local and with
#   global symbols: each answers as itself, renders, is unloaded and loaded
#   again, and the process ends cleanly.

include(${CMAKE_CURRENT_LIST_DIR}/VexkitInstallRun.cmake)

set(prefix ${OUT}/prefix)
set(work ${OUT}/plugins)
file(REMOVE_RECURSE ${work})
separate_arguments(flags UNIX_COMMAND "${FLAGS}")
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)

# Through the package's function, where pkg-config knows only what the FFGL
# layer needs (none of the media libraries' .pc files).
set(pcdir ${work}/pkgconfig)
file(MAKE_DIRECTORY ${pcdir})
set(modules epoxy egl libpng zlib)
while(modules)
  list(POP_FRONT modules module)
  if(EXISTS ${pcdir}/${module}.pc)
    continue()
  endif()
  run("pkg-config" pkg-config --path ${module})
  string(STRIP "${output}" file)
  file(REAL_PATH ${file} file)
  file(COPY_FILE ${file} ${pcdir}/${module}.pc)
  run("pkg-config" pkg-config --print-requires --print-requires-private ${module})
  string(REGEX MATCHALL "[^ \n]+" required "${output}")
  list(FILTER required EXCLUDE REGEX "^[<>=!]|^[0-9]")
  list(APPEND modules ${required})
endwhile()
set(ENV{PKG_CONFIG_LIBDIR} ${pcdir})
run("configuring the effects" ${CMAKE_COMMAND} -S ${SOURCE}/tests/install/effect -B ${work}/effects -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${FLAGS}"
    "-DCMAKE_MODULE_LINKER_FLAGS=${FLAGS}")
unset(ENV{PKG_CONFIG_LIBDIR})
run("building the effects" ${CMAKE_COMMAND} --build ${work}/effects)
set(first ${work}/effects/FirstEffect.bundle/Contents/MacOS/FirstEffect)
set(second ${work}/effects/SecondEffect.bundle/Contents/MacOS/SecondEffect)
set(movie ${work}/effects/MovieEffect.bundle/Contents/MacOS/MovieEffect)

# Through pkg-config, as README.md says.
run("pkg-config" pkg-config --cflags --libs vexkit)
separate_arguments(pkgFlags UNIX_COMMAND "${output}")
run("pkg-config" pkg-config --variable=ffgl_exports vexkit)
string(STRIP "${output}" exports)
set(third ${work}/ThirdEffect.bundle/Contents/MacOS/ThirdEffect)
file(MAKE_DIRECTORY ${work}/ThirdEffect.bundle/Contents/MacOS)
run("building the pkg-config effect" ${CXX} ${flags} -shared -fPIC -fvisibility=hidden -fvisibility-inlines-hidden
    "-DVX_EFFECT_ID=\"VXE3\"" "-DVX_EFFECT_NAME=\"Third\"" ${SOURCE}/tests/install/effect/VXOneParamEffect.cpp
    ${pkgFlags} -Wl,--undefined=plugMain -Wl,-Bsymbolic -Wl,--version-script=${exports} -Wl,--no-undefined
    -o ${third})

# Each module's one export is plugMain.
foreach(module ${first} ${second} ${movie} ${third})
  run("nm" nm -D --defined-only ${module})
  string(REGEX MATCHALL "[^\n]+" symbols "${output}")
  foreach(symbol ${symbols})
    if(NOT symbol MATCHES " plugMain$")
      message(FATAL_ERROR "${module} exports more than plugMain: ${symbol}")
    endif()
  endforeach()
  if(NOT output MATCHES " plugMain")
    message(FATAL_ERROR "${module} exports no plugMain")
  endif()
endforeach()

# The host: the protocol header of the installed engine and the headless
# context of the engine's own host.
run("pkg-config" pkg-config --cflags --libs epoxy)
separate_arguments(epoxyFlags UNIX_COMMAND "${output}")
run("building the host" ${CXX} ${flags} -std=c++20 -I${prefix}/include/vexkit -I${SOURCE}/tools/vxffglhost
    ${SOURCE}/tests/install/host/VXEffectsHost.cpp ${SOURCE}/tools/vxffglhost/VXHostContext.cpp ${epoxyFlags}
    -ldl -o ${work}/vxeffectshost)
foreach(mode local global)
  run("the host with ${mode} symbols" ${work}/vxeffectshost ${mode} ${first} VXE1 ${second} VXE2)
  message("${output}")
endforeach()
# The movie effect and the pkg-config effect (every layer) bring FFmpeg and
# what FFmpeg loads (libgomp, libgcrypt, pixman), whose process-lifetime
# allocations are lost when the module unloads them: no leak check there.
set(ENV{ASAN_OPTIONS} "$ENV{ASAN_OPTIONS}:detect_leaks=0")
foreach(mode local global)
  run("the host with ${mode} symbols, the movie and the pkg-config effect" ${work}/vxeffectshost ${mode} ${first}
      VXE1 ${third} VXE3 ${movie} VXE4 ${second} VXE2)
  message("${output}")
endforeach()
