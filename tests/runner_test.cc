// The suite runner, run on a stand-in of the test program (stand_in.cc) whose suites
// pass, fail and never end.

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "windows_harness.h"

const SuiteBound runner{"Runner", 60};

TEST(Runner, FailsWhatFailsOrHangsAndRunsTheRest) {
  const std::string left_out = "left out: Absent: the stand-in has none\n";
  const struct {
    const char* names;
    DWORD status;
    std::string says;  // its output, without empty lines or each suite's time
  } runs[] = {
      {"", 1, "=== Passes\nran Passes.*\n=== Passes: passed\n=== Fails\nran Fails.*\n"
              "=== Fails: FAILED\n=== Hangs\nran Hangs.*\n"
              "Hangs: still running after 2 s; its process tree ended\n"
              "=== Hangs: FAILED (timed out)\n=== LastPasses\nran LastPasses.*\n"
              "=== LastPasses: passed\nsuites: 2 passed, 2 failed\nFAILED: Fails\n"
              "FAILED: Hangs (timed out)\n" + left_out},
      {"LastPasses Passes.Case", 0, "=== LastPasses\nran LastPasses.*\n=== LastPasses: passed\n"
                                    "=== Passes.Case\nran Passes.Case\n=== Passes.Case: passed\n"
                                    "suites: 2 passed, 0 failed\n" + left_out},
      {"Passes Nowhere Fails.Case Else.Case", 1,
       "FAIL: no such suite: Nowhere Else.Case; the suites of " + beside_test("stand_in.exe") +
       " are: Passes Fails Hangs LastPasses\n"},
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r.names);
    Outcome o = run_command(quote(beside_test("run-suites.exe")) + " --program=stand_in.exe " +
                            r.names, beside_test("."), Stdout::kPipe, 30);
    EXPECT_EQ(o.status, r.status);
    std::string said = std::regex_replace(o.out + o.err, std::regex("\r|, [0-9.]+ s(?=\r?\n)"), "");
    EXPECT_EQ(std::regex_replace(said, std::regex("^\n+|\n(?=\n)"), ""), r.says);
  }
}
