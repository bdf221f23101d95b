# Included by the host build's tests: builds tests/fuzz with clang (installed
# with its libFuzzer runtime by tools/install-deps.sh) and runs each fuzz
# target for a bounded time from its committed seeds. Any crash or sanitizer
# report fails the test.
find_program(KESTRANE_CLANGXX NAMES clang++-14 clang++ REQUIRED)

include(ExternalProject)
set(fuzzBuild ${CMAKE_BINARY_DIR}/fuzz)
ExternalProject_Add(metafile_fuzz_build
  SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
  BINARY_DIR ${fuzzBuild}
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${KESTRANE_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")

# New inputs a run finds go to the build tree; the seeds stay untouched.
function(kestrane_fuzz_test name seconds seeds)
  set(work ${CMAKE_BINARY_DIR}/fuzz-work/${name})
  file(MAKE_DIRECTORY ${work}/corpus ${work}/artifacts)
  add_test(NAME ${name}
    COMMAND ${fuzzBuild}/${name}
      -max_total_time=${seconds} -rss_limit_mb=1024 -timeout=10 -max_len=4096 -print_final_stats=1
      -artifact_prefix=${work}/artifacts/ ${work}/corpus ${seeds})
  set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS fuzz)
endfunction()
kestrane_fuzz_test(metafile_fuzz 20 ${CMAKE_CURRENT_LIST_DIR}/corpus)
kestrane_fuzz_test(shp16_fuzz 10 ${CMAKE_CURRENT_LIST_DIR}/corpus-shp16)
