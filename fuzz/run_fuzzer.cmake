# Runs one libFuzzer target for ctest (see fuzz/CMakeLists.txt):
#   cmake -DFUZZER=<binary> -DFUZZ_SECONDS=<n> -DSCRATCH=<dir> -DARTIFACTS=<dir>
#         -DSEEDS=<fuzz/corpus/target> -P run_fuzzer.cmake
# The scratch corpus starts empty at each run and receives the new units;
# the committed seeds are read but never written. A crash, timeout or
# out-of-memory input is saved in ARTIFACTS and fails the test.
foreach(variable FUZZER FUZZ_SECONDS SCRATCH ARTIFACTS SEEDS)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "run_fuzzer.cmake: ${variable} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}" "${ARTIFACTS}")
set(command "${FUZZER}" -max_total_time=${FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
    -print_final_stats=1 "-artifact_prefix=${ARTIFACTS}/" "${SCRATCH}" "${SEEDS}")
list(JOIN command " " shown)
message(STATUS "${shown}")
execute_process(COMMAND ${command} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); its input is in ${ARTIFACTS}")
endif()
