# Run with -P by the test vx_install_shared, after vx_install has installed
# and moved the prefix OUT/prefix: programs written against its headers
# linked to the shared engine SHARED (the build's layers linked whole with
# the exports of a -DBUILD_SHARED_LIBS=ON build), compiler CXX, flags FLAGS.
# - SOURCE/tests/install/shared: classes derived from the engine's classes of
#   several bases, whose vtables name the engine's thunks, links and runs.
# - The one-parameter effect linked to the shared engine loads in the host
#   of the tests, answers, renders and unloads.
# - The same effect built with README.md's pkg-config line and nothing else
#   (the vexkit.pc a shared build installs, beside SHARED in pkgconfig/, in a
#   prefix of the shared engine and the installed headers): it calls GL
#   itself and links with --no-undefined. An application on the shared
#   engine (SOURCE/tests/install/shared/VXEffectChainHost.cpp) hosts it in a
#   chain beside the installed Kelvo (PLUGIN_DIR): it draws, is dropped and
#   taken again, and leaves the application's engine root running.

include(${CMAKE_CURRENT_LIST_DIR}/VexkitInstallRun.cmake)

set(prefix ${OUT}/prefix)
set(work ${OUT}/shared)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/${LIBDIR}/pkgconfig ${work}/Effect.bundle/Contents/MacOS
     ${work}/ChainEffect.bundle/Contents/MacOS)
get_filename_component(name ${SHARED} NAME)
file(COPY ${SHARED} DESTINATION ${work}/${LIBDIR})
separate_arguments(flags UNIX_COMMAND "${FLAGS}")
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run("pkg-config" pkg-config --cflags vexkit)
separate_arguments(cflags UNIX_COMMAND "${output}")
run("pkg-config" pkg-config --libs epoxy)
separate_arguments(epoxyLibs UNIX_COMMAND "${output}")
set(engine -L${work}/${LIBDIR} -l:${name} -Wl,--no-undefined)

run("linking the derived classes" ${CXX} ${flags} ${cflags} ${SOURCE}/tests/install/shared/VXDerivedClasses.cpp
    ${engine} -o ${work}/derived)
set(effect ${work}/Effect.bundle/Contents/MacOS/Effect)
run("linking the effect" ${CXX} ${flags} ${cflags} -shared -fPIC ${SOURCE}/tests/install/effect/VXOneParamEffect.cpp
    ${engine} ${epoxyLibs} -o ${effect})
run("building the host" ${CXX} ${flags} ${cflags} -I${SOURCE}/tools/vxffglhost
    ${SOURCE}/tests/install/host/VXEffectsHost.cpp ${SOURCE}/tools/vxffglhost/VXHostContext.cpp ${epoxyLibs}
    -ldl -o ${work}/vxeffectshost)

# The shared build's prefix: the engine and its vexkit.pc, the headers and
# the package folder (the effects' version script) of the installed prefix.
get_filename_component(sharedDir ${SHARED} DIRECTORY)
file(COPY ${sharedDir}/pkgconfig/vexkit.pc DESTINATION ${work}/${LIBDIR}/pkgconfig)
file(CREATE_LINK ${prefix}/include ${work}/include SYMBOLIC)
file(CREATE_LINK ${prefix}/${LIBDIR}/cmake ${work}/${LIBDIR}/cmake SYMBOLIC)
set(ENV{PKG_CONFIG_PATH} ${work}/${LIBDIR}/pkgconfig)
run("pkg-config of the shared build" pkg-config --cflags --libs vexkit)
separate_arguments(sharedFlags UNIX_COMMAND "${output}")
run("pkg-config of the shared build" pkg-config --variable=ffgl_exports vexkit)
string(STRIP "${output}" exports)
set(chainEffect ${work}/ChainEffect.bundle/Contents/MacOS/ChainEffect)
run("linking the effect with README.md's flags" ${CXX} ${flags} -shared -fPIC -fvisibility=hidden
    -fvisibility-inlines-hidden ${SOURCE}/tests/install/effect/VXOneParamEffect.cpp ${sharedFlags}
    -Wl,--undefined=plugMain -Wl,-Bsymbolic -Wl,--version-script=${exports} -Wl,--no-undefined -o ${chainEffect})
run("building the chain host" ${CXX} ${flags} ${cflags} ${SOURCE}/tests/install/shared/VXEffectChainHost.cpp
    ${engine} -o ${work}/vxeffectchainhost)
set(kelvo ${PLUGIN_DIR})
if(NOT IS_ABSOLUTE ${kelvo})
  set(kelvo ${prefix}/${kelvo})
endif()
set(kelvo ${kelvo}/Kelvo.bundle/Contents/MacOS/Kelvo)

set(ENV{LD_LIBRARY_PATH} ${work}/${LIBDIR})
run("the derived classes" ${work}/derived)
run("the host over the effect" ${work}/vxeffectshost local ${effect} VXE0)
message("${output}")
# A deadlock ends in the host's own watchdog (exit 3, naming the step).
run("the chain host over the effect and Kelvo" ${work}/vxeffectchainhost ${chainEffect} ${kelvo})
message("${output}")
