// The suite runner, run on a stand-in of the test program (suites_stand_in.cc) whose suites
// pass, fail and never end.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "windows_harness.h"

namespace {

const SuiteBound runner{"Runner", 60};

// The lines of a run's output but empty ones, each result's time taken off.
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> found;
  std::string line;
  for (char c : text + "\n") {
    if (c != '\n') {
      line += c == '\r' ? "" : std::string(1, c);
      continue;
    }
    if (line.rfind("=== ", 0) == 0 && line.find(": ") != std::string::npos)
      line.erase(line.rfind(", "));  // ", 0.1 s"
    if (!line.empty())
      found.push_back(line);
    line.clear();
  }
  return found;
}

}  // namespace

TEST(Runner, FailsWhatFailsOrHangsAndRunsTheRest) {
  const std::string left_out = "left out: Absent: the stand-in has none";
  const struct {
    const char* names;
    DWORD status;
    std::vector<std::string> lines;
  } runs[] = {
      {"", 1, {"=== Passes", "ran Passes.*", "=== Passes: passed", "=== Fails", "ran Fails.*",
               "=== Fails: FAILED", "=== Hangs", "ran Hangs.*",
               "Hangs: still running after 2 s; its process tree ended",
               "=== Hangs: FAILED (timed out)", "=== LastPasses", "ran LastPasses.*",
               "=== LastPasses: passed", "suites: 2 passed, 2 failed", "FAILED: Fails",
               "FAILED: Hangs (timed out)", left_out}},
      {"LastPasses Passes.Case", 0, {"=== LastPasses", "ran LastPasses.*", "=== LastPasses: passed",
                                     "=== Passes.Case", "ran Passes.Case",
                                     "=== Passes.Case: passed", "suites: 2 passed, 0 failed",
                                     left_out}},
      {"Passes Nowhere Fails.Case Else.Case", 1,
       {"FAIL: no such suite: Nowhere Else.Case; the suites of " + beside_test("suites_stand_in.exe") +
        " are: Passes Fails Hangs LastPasses"}},
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r.names);
    Outcome o = run_command(quote(beside_test("run-suites.exe")) + " --program=suites_stand_in.exe " +
                            r.names, beside_test("."), Stdout::kPipe, 30);
    EXPECT_EQ(o.status, r.status);
    EXPECT_EQ(lines(o.out + o.err), r.lines);
  }
}
