# Fails unless every suite that the Windows test program lists is in RUN (the suites that
# ctest entries run) or NOT_BUILT (installer suites this build does not make), naming any
# other; and unless RUNNER, the runner of every suite, run with a short bound on the stand-in
# beside it, fails, runs each of its suites once, and counts and names what failed.
#   cmake -DPROGRAM=windows_test.exe [-DEMULATOR=...] -DRUN=a;b -DNOT_BUILT=c
#         -DRUNNER=run-suites.exe -P check-suites.cmake
execute_process(COMMAND ${EMULATOR} ${PROGRAM} --gtest_list_tests
  OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${PROGRAM} --gtest_list_tests failed: ${failed}\n${listing}")
endif()
string(REGEX MATCHALL "(^|\n)[A-Za-z0-9_]+\\." listed "${listing}")
list(TRANSFORM listed REPLACE "[\n.]" "")
list(REMOVE_DUPLICATES listed)
set(left_out ${listed})
list(REMOVE_ITEM left_out ${RUN} ${NOT_BUILT} "")
if(NOT listed OR left_out)
  message(FATAL_ERROR "Suites no ctest entry runs: ${left_out} (listed: ${listed})")
endif()
message("Every listed suite has its ctest entry: ${listed}")

# The stand-in's suites pass, fail, never end, and pass.
execute_process(COMMAND ${EMULATOR} ${RUNNER} 3 suites_stand_in.exe
  OUTPUT_VARIABLE run ERROR_VARIABLE run RESULT_VARIABLE status)
string(REPLACE "\r" "" run "${run}")
string(REGEX MATCHALL "(ran|===) [A-Za-z]+[:.][^,\n]*" results "${run}")
set(wanted "ran Passes.*" "=== Passes: passed" "ran Fails.*" "=== Fails: FAILED"
  "ran Hangs.*" "=== Hangs: FAILED (timed out)" "ran LastPasses.*" "=== LastPasses: passed")
string(FIND "${run}" "\nsuites: " at REVERSE)
set(summary "")
if(at GREATER -1)
  string(SUBSTRING "${run}" ${at} -1 summary)
endif()
set(last "\nsuites: 2 passed, 2 failed\nFAILED: Fails\nFAILED: Hangs (timed out)\n")
if(status EQUAL 0 OR NOT results STREQUAL wanted OR NOT summary STREQUAL last)
  message(FATAL_ERROR "The suite runner on the stand-in exited with ${status} (wanted "
                      "non-zero); ran and gave: ${results}, wanted: ${wanted}; ended with "
                      "'${summary}', wanted '${last}'\n${run}")
endif()
message("The suite runner failed the stand-in's failed and timed-out suites, and ran the last")
