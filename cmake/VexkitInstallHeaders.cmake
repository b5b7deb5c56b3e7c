# Run with -P by the test vx_install_headers, after vx_install has installed
# and moved the prefix OUT/prefix: every installed header compiles on its own,
# included first by a file of its own, with only vexkit.pc's flags (compiler
# CXX, syntax only; the files go JOBS at once through ninja).

include(${CMAKE_CURRENT_LIST_DIR}/VexkitInstallRun.cmake)

set(prefix ${OUT}/prefix)
set(work ${OUT}/headers)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run("pkg-config" pkg-config --cflags vexkit)
string(STRIP "${output}" cflags)

set(root ${prefix}/include/vexkit)
file(GLOB_RECURSE headers RELATIVE ${root} ${root}/*.h)
list(LENGTH headers count)
if(count EQUAL 0)
  message(FATAL_ERROR "no header is installed under ${root}")
endif()
set(rules "rule syntax\n  command = ${CXX} ${cflags} -fsyntax-only $in && touch $out\n  description = $in\n")
set(index 0)
foreach(header ${headers})
  math(EXPR index "${index} + 1")
  file(WRITE ${work}/h${index}.cpp "#include \"${header}\"\n")
  string(APPEND rules "build h${index}.ok: syntax h${index}.cpp\n")
endforeach()
file(WRITE ${work}/build.ninja "${rules}")
execute_process(COMMAND ninja -k 0 -j ${JOBS} WORKING_DIRECTORY ${work} RESULT_VARIABLE result
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result STREQUAL "0")
  string(FIND "${out}" "FAILED:" at)
  if(at GREATER -1)
    string(SUBSTRING "${out}" ${at} -1 out)
  endif()
  message(FATAL_ERROR "headers that do not compile on their own:\n${out}\n${err}")
endif()
message("${count} installed headers compile on their own")
