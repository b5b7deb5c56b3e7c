# GLU's polygon tessellator (libglu1-mesa-dev) is linked by the geometry
# benchmarks only, as the peer measured through its public calls; the engine
# never links it.

if(VX_SANITIZE STREQUAL "fuzz")
  return()
endif()

pkg_check_modules(GLU REQUIRED IMPORTED_TARGET glu)

# The benchmarks are made after this fragment.
function(vx_geometry_link_reference)
  if(TARGET vx_bench_engine_gfx_geometry)
    target_link_libraries(vx_bench_engine_gfx_geometry PRIVATE PkgConfig::GLU)
  endif()
endfunction()
cmake_language(DEFER CALL vx_geometry_link_reference)
