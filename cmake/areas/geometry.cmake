# GLU's polygon tessellator (libglu1-mesa-dev) is linked by the geometry tests
# and benchmarks only, as an independent reference compared through its public
# calls; the engine never links it.

if(NOT VX_BUILD_TESTS AND NOT VX_BUILD_BENCH)
  return()
endif()
pkg_check_modules(GLU REQUIRED IMPORTED_TARGET glu)

# The suites and benchmarks are made after this fragment.
function(vx_geometry_link_reference)
  foreach(target vx_tests_engine_gfx_geometry vx_bench_engine_gfx_geometry)
    if(TARGET ${target})
      target_link_libraries(${target} PRIVATE PkgConfig::GLU)
    endif()
  endforeach()
endfunction()
cmake_language(DEFER CALL vx_geometry_link_reference)
