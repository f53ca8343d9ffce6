// Runs the suites of the Windows test program beside it, each in a process of its own, and
// fails when one fails (a failed or skipped test, or none selected: the test program's own
// verdicts), crashes, or outlasts its bound, which ends it and all it started. The test
// program names its suites, each with its bound, and what its build left out (--suites).
// What ctest, scripts/test.sh and the Windows jobs run.
//
//   run-suites [--program=NAME] [SUITE | SUITE.TEST]...
//       every suite, or those named, in that order; a name that is no suite's fails before
//       anything runs. NAME: the test program beside this one (windows_test.exe)

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

const DWORD kListingBound = 60;

std::string beside_self(const std::string& name) {
  char path[MAX_PATH];
  std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  return self.substr(0, self.find_last_of("\\/") + 1) + name;
}

struct Ending {
  DWORD status = 1;
  bool timed_out = false;
};

// Runs a command with these standard output and error handles (standard input is NUL) in a
// job, which ends it and all it started once it has run for `seconds`, or when it is done.
Ending run(std::string command, HANDLE out, HANDLE err, DWORD seconds) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  Ending ending;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &process)) {
    fprintf(stderr, "FAIL: cannot start %s: error %lu\n", command.c_str(), GetLastError());
  } else {
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    if (WaitForSingleObject(process.hProcess, seconds * 1000) == WAIT_TIMEOUT) {
      ending.timed_out = true;
      TerminateJobObject(job, 1);
      WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, &ending.status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(input);
  CloseHandle(job);
  return ending;
}

struct Suite {
  std::string name;
  DWORD bound;
};

// What `program --suites` says: a line for each suite, its name and bound in seconds, and
// lines on what the build left out, kept to be said again. Empty when it fails.
std::vector<Suite> list(const std::string& program, std::vector<std::string>* left_out) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  CreatePipe(&read, &write, &inherit, 1 << 16);  // room for the whole listing
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  Ending ending = run("\"" + program + "\" --suites", write, GetStdHandle(STD_ERROR_HANDLE),
                      kListingBound);
  CloseHandle(write);
  std::string listing;
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n)
    listing.append(buffer, n);
  CloseHandle(read);
  std::vector<Suite> suites;
  std::istringstream lines(ending.timed_out || ending.status ? "" : listing);
  for (std::string line; std::getline(lines, line);) {
    line.erase(line.find_last_not_of('\r') + 1);
    if (line.rfind("left out: ", 0) == 0)
      left_out->push_back(line);
    else if (line.find(' ') != std::string::npos)
      suites.push_back({line.substr(0, line.find(' ')), static_cast<DWORD>(atoi(&line[line.find(' ')]))});
  }
  if (suites.empty()) {
    fprintf(stderr, "FAIL: %s --suites %s\n", program.c_str(),
            ending.timed_out ? "did not end in time" : ending.status ? "failed" : "lists no suite");
  }
  return suites;
}

}  // namespace

int main(int argc, char** argv) {
  std::string program = beside_self("windows_test.exe");
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--program=", 0) == 0)
      program = beside_self(arg.substr(10));
    else
      names.push_back(arg);
  }
  // The suites write straight into this program's own output, as they go.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
  SetHandleInformation(out, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SetHandleInformation(err, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

  std::vector<std::string> left_out;
  std::vector<Suite> suites = list(program, &left_out);
  if (suites.empty())
    return 1;
  // What runs: each name given, as SUITE or SUITE.TEST, with its suite's bound; or every suite.
  std::vector<Suite> runs = names.empty() ? suites : std::vector<Suite>();
  std::string unknown, all;
  for (const std::string& name : names) {
    auto suite = std::find_if(suites.begin(), suites.end(), [&](const Suite& s) {
      return s.name == name.substr(0, name.find('.'));
    });
    if (suite == suites.end())
      unknown += " " + name;
    else
      runs.push_back({name, suite->bound});
  }
  if (!unknown.empty()) {
    for (const Suite& suite : suites)
      all += " " + suite.name;
    fprintf(stderr, "FAIL: no such suite:%s; the suites of %s are:%s\n", unknown.c_str(),
            program.c_str(), all.c_str());
    return 1;
  }

  int passed = 0;
  std::vector<std::string> failed;
  for (const Suite& suite : runs) {
    printf("\n=== %s\n", suite.name.c_str());
    fflush(stdout);
    ULONGLONG begin = GetTickCount64();
    std::string filter = suite.name.find('.') == std::string::npos ? suite.name + ".*" : suite.name;
    Ending ending = run("\"" + program + "\" --gtest_filter=" + filter, out, err, suite.bound);
    if (ending.timed_out) {
      printf("%s: still running after %lu s; its process tree ended\n", suite.name.c_str(),
             suite.bound);
    }
    // Whatever code its ending left, a suite that had to be ended did not pass.
    std::string result = ending.timed_out ? "FAILED (timed out)"
                         : ending.status == 0 ? "passed" : "FAILED";
    printf("=== %s: %s, %.1f s\n", suite.name.c_str(), result.c_str(),
           static_cast<double>(GetTickCount64() - begin) / 1000.0);
    if (result == "passed")
      ++passed;
    else
      failed.push_back(suite.name + (ending.timed_out ? " (timed out)" : ""));
  }
  printf("\nsuites: %d passed, %d failed\n", passed, static_cast<int>(failed.size()));
  for (const std::string& suite : failed)
    printf("FAILED: %s\n", suite.c_str());
  for (const std::string& line : left_out)
    printf("%s\n", line.c_str());
  return failed.empty() ? 0 : 1;
}
