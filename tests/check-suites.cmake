# Fails unless every suite that the Windows test program lists is in RUN (the suites that
# ctest entries run) or NOT_BUILT (installer suites this build does not make), naming any
# other.
#   cmake -DPROGRAM=windows_test.exe [-DEMULATOR=...] -DRUN=a;b -DNOT_BUILT=c -P check-suites.cmake
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
