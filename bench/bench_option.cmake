# Included from the top-level CMakeLists.txt: the benchmark programs are built
# only on request (bench/run.sh asks for them).
option(WEXMOOR_BUILD_BENCH "Build the benchmarks" OFF)
if(WEXMOOR_BUILD_BENCH)
  add_subdirectory(bench)
endif()
