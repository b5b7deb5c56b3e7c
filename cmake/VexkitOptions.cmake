# Compiler flags shared by every target of ours.

# The sanitizer builds link with lld where clang has it: their programs and
# fuzz targets, each with the static engine, link in about a third of the time
# the default linker takes.
macro(vx_use_lld)
  find_program(VX_LLD ld.lld)
  if(VX_LLD AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_link_options(-fuse-ld=lld)
  endif()
endmacro()

if(VX_SANITIZE STREQUAL "asan-ubsan")
  # float-cast-overflow is outside the undefined group: a NaN, infinite or
  # out-of-range float converted to an integer.
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined,float-cast-overflow)
  # What links a program of this build; the install tests link theirs so too.
  set(VX_SANITIZER_LINK_FLAGS -fsanitize=address,undefined,float-cast-overflow)
  # Debug information as line tables only, unless a build type is given: the
  # reports keep every frame's file and line, inlined frames too, and the
  # build (mostly the tests) takes a quarter less time than with full -g.
  if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE Debug)
    set(CMAKE_C_FLAGS_DEBUG -g1)
    set(CMAKE_CXX_FLAGS_DEBUG -g1)
  endif()
  add_compile_options(-O1)
  # Built by clang, the engine also carries libFuzzer's coverage and the fuzz
  # targets build in this tree (fuzz/): one build serves tests and fuzzing.
  # Its runtime is linked as a shared library, as GCC links it, so modules
  # linked with --no-undefined (plugins, the shared engine) name and find it.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(VX_FUZZ ON)
    add_compile_options(-fsanitize=fuzzer-no-link)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libclang_rt.asan-x86_64.so
      OUTPUT_VARIABLE runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(runtimeDir ${runtime} DIRECTORY)
    list(APPEND VX_SANITIZER_LINK_FLAGS -shared-libsan -Wl,-rpath,${runtimeDir})
  endif()
  add_link_options(${VX_SANITIZER_LINK_FLAGS})
  vx_use_lld()
elseif(VX_SANITIZE STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  vx_use_lld()
  add_compile_options(-O1)
endif()

# The sanitizer builds link about seventy-five programs, each with the static
# engine: their line tables are compressed (an eighth off each program;
# the sanitizers' symbolizer and gdb read them so).
if(VX_SANITIZE)
  add_link_options(-Wl,--compress-debug-sections=zlib)
endif()

# For the folder that calls it: under the sanitizers the suites' and the
# benchmarks' own code is built without optimisation (it drives the engine,
# built at -O1, and compiles in half the time) and without the engine's
# fuzzing coverage, which it does not need.
macro(vx_harness_code_options)
  if(VX_SANITIZE)
    add_compile_options(-O0)
  endif()
  if(VX_FUZZ)
    add_compile_options(-fno-sanitize=fuzzer-no-link)
  endif()
endmacro()

function(vx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(VX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
