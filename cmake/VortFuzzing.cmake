# vort_fuzz_target(<name> SOURCES ... [LIBS ...])
# One libFuzzer target, built with address and undefined-behaviour checks, so a read
# past a buffer that does not crash is still reported. In the fuzz tree every other
# object (the engines the targets link above all) is compiled with the same checks and
# the coverage hooks; see the root CMakeLists.txt.
function(vort_fuzz_target name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  if(F_LIBS)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
  endif()
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()
