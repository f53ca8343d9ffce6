// Runs every suite of the Windows test program beside it, each in a process of its own as
// ctest does, taking the suites from its --gtest_list_tests. Fails when the list is empty,
// when a suite fails, or when one outlasts its bound, which ends it and all it started. What
// the Windows jobs run on the bundle, and scripts/test.sh under Wine.
//
//   run-suites [SECONDS [PROGRAM]]   the bound on each suite (default 600); the test
//                                    program beside this one (default windows_test.exe)

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

std::string beside_self(const char* name) {
  char path[MAX_PATH];
  std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  return self.substr(0, self.find_last_of("\\/") + 1) + name;
}

// Starts a command suspended, with these standard handles, in a job that ends it and all it
// starts once the job's handle closes.
bool start(std::string command, HANDLE out, HANDLE err, HANDLE job, PROCESS_INFORMATION* process) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = out;
  startup.hStdError = err;
  bool started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                                nullptr, nullptr, &startup, process) != FALSE;
  if (!started)
    fprintf(stderr, "FAIL: cannot start %s: error %lu\n", command.c_str(), GetLastError());
  CloseHandle(input);
  if (started) {
    AssignProcessToJobObject(job, process->hProcess);
    ResumeThread(process->hThread);
  }
  return started;
}

HANDLE new_job() {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  return job;
}

// The suites that `program --gtest_list_tests` names: its lines that start with no blank.
std::vector<std::string> suites(const std::string& program) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  CreatePipe(&read, &write, &inherit, 0);
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  HANDLE job = new_job();
  PROCESS_INFORMATION process{};
  bool started = start("\"" + program + "\" --gtest_list_tests", write,
                       GetStdHandle(STD_ERROR_HANDLE), job, &process);
  CloseHandle(write);
  std::string listing;
  char buffer[4096];
  DWORD n = 0;
  while (started && ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n)
    listing.append(buffer, n);
  CloseHandle(read);
  DWORD status = 1;
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(job);
  std::vector<std::string> names;
  for (size_t at = 0; status == 0 && at < listing.size();) {
    size_t end = listing.find('\n', at);
    std::string line = listing.substr(at, end == std::string::npos ? end : end - at);
    at = end == std::string::npos ? listing.size() : end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
      line.pop_back();
    if (!line.empty() && line[0] != ' ' && line.back() == '.')
      names.push_back(line.substr(0, line.size() - 1));
  }
  if (status != 0)
    fprintf(stderr, "FAIL: %s --gtest_list_tests exited with %lu\n", program.c_str(), status);
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  DWORD bound = argc > 1 ? static_cast<DWORD>(atoi(argv[1])) : 600;
  std::string program = beside_self(argc > 2 ? argv[2] : "windows_test.exe");
  // The suites write straight into this program's own output, as it goes.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
  SetHandleInformation(out, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SetHandleInformation(err, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

  std::vector<std::string> names = suites(program);
  if (names.empty()) {
    fprintf(stderr, "FAIL: %s lists no suite\n", program.c_str());
    return 1;
  }
  int passed = 0;
  std::vector<std::string> failed;
  for (const std::string& suite : names) {
    printf("\n=== %s\n", suite.c_str());
    fflush(stdout);
    HANDLE job = new_job();
    PROCESS_INFORMATION process{};
    ULONGLONG begin = GetTickCount64();
    DWORD status = 1;
    bool timed_out = false;
    if (start("\"" + program + "\" --gtest_filter=" + suite + ".*", out, err, job, &process)) {
      if (WaitForSingleObject(process.hProcess, bound * 1000) == WAIT_TIMEOUT) {
        printf("%s: still running after %lu s; its process tree ended\n", suite.c_str(), bound);
        timed_out = true;
        TerminateJobObject(job, 1);
        WaitForSingleObject(process.hProcess, 10000);
      }
      GetExitCodeProcess(process.hProcess, &status);
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
    }
    CloseHandle(job);
    // Whatever code its ending left, a suite that had to be ended did not pass.
    std::string result = timed_out ? "FAILED (timed out)" : status == 0 ? "passed" : "FAILED";
    printf("=== %s: %s, %.1f s\n", suite.c_str(), result.c_str(),
           static_cast<double>(GetTickCount64() - begin) / 1000.0);
    if (result == "passed")
      ++passed;
    else
      failed.push_back(suite + (timed_out ? " (timed out)" : ""));
  }
  printf("\nsuites: %d passed, %d failed\n", passed, static_cast<int>(failed.size()));
  for (const std::string& suite : failed)
    printf("FAILED: %s\n", suite.c_str());
  return failed.empty() ? 0 : 1;
}
