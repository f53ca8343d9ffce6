// The program's main run in this process, on the Windows runtime it ships with, its broadcast
// answered by a double that records what it was given (in_process.h): what no run of the real
// program can show, the call's own values, and a broadcast that fails.

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "answers.h"
#include "windows_harness.h"

int quorvane_main(int argc, char** argv);  // main, renamed for these tests
// The doubles below are declared in in_process.h, which only the program's object includes.

namespace {

const SuiteBound in_process{"InProcess", 60};

struct Call {
  HWND window;
  UINT message;
  WPARAM wparam;
  std::string section;  // the bytes lparam pointed to, up to and including the NUL
  UINT flags;
  UINT timeout;
  PDWORD_PTR result;
  long long written;  // bytes of standard output in its file at the moment of the call
  DWORD last_error;   // as the call found it
};

std::vector<Call> calls;
LRESULT reply = 1;
DWORD last_error = 0;
DWORD failure_error = 0;  // what a failing call sets the last error to; 0: nothing

}  // namespace

LRESULT test_SendMessageTimeoutA(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                 UINT flags, UINT timeout, PDWORD_PTR result) {
  const char* text = reinterpret_cast<const char*>(lparam);
  calls.push_back({window, message, wparam, text ? std::string(text, strlen(text) + 1) : "",
                   flags, timeout, result, _filelengthi64(1), last_error});
  if (!reply && failure_error)
    last_error = failure_error;
  return reply;
}

DWORD test_GetLastError() { return last_error; }
void test_SetLastError(DWORD error) { last_error = error; }

namespace {

struct Result {
  std::string out, err;
  int status;
};

// Runs main with these arguments, its standard output and error going to files of a test
// folder as text (one file for both, as an installer's log), buffered as for a file; then
// flushes, as exit does. Nothing here asserts while they are redirected.
Result run_main(std::vector<std::string> args, bool one_log = false) {
  Folder folder({"out", "err"});
  const std::string out = folder.path() + "\\out", err = folder.path() + (one_log ? "\\out" : "\\err");
  std::vector<char*> argv{const_cast<char*>("Quorvane.exe")};
  for (std::string& arg : args)
    argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  calls.clear();
  fflush(stdout);
  fflush(stderr);
  int saved[] = {_dup(1), _dup(2)};
  int files[] = {_open(out.c_str(), _O_WRONLY | _O_TRUNC | _O_TEXT), -1};
  files[1] = one_log ? files[0] : _open(err.c_str(), _O_WRONLY | _O_TRUNC | _O_TEXT);
  _dup2(files[0], 1);
  _dup2(files[1], 2);
  setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
  int status = quorvane_main(static_cast<int>(argv.size() - 1), argv.data());
  fflush(stdout);
  fflush(stderr);
  for (int fd : {1, 2}) {
    _dup2(saved[fd - 1], fd);
    _close(saved[fd - 1]);
  }
  _close(files[0]);
  if (!one_log)
    _close(files[1]);
  return {read_file(out), one_log ? "" : read_file(err), status};
}

}  // namespace

TEST(InProcess, BroadcastsEnvironmentWithWindowsOwnValues) {
  last_error = 5;  // left over from start-up
  reply = 1;
  Result r = run_main({"/broadcast"});
  EXPECT_EQ(r.out, crlf(text(Answer::kBroadcast)));
  ASSERT_EQ(calls.size(), 1u);
  const Call& call = calls[0];
  EXPECT_EQ(call.window, HWND_BROADCAST);
  EXPECT_EQ(call.message, static_cast<UINT>(WM_SETTINGCHANGE));
  EXPECT_EQ(call.wparam, 0u);
  EXPECT_EQ(call.section, std::string("Environment", 12));  // 8-bit, 11 letters and the NUL
  EXPECT_EQ(call.flags, static_cast<UINT>(SMTO_ABORTIFHUNG));
  EXPECT_EQ(call.timeout, 5000u);
  EXPECT_EQ(call.result, nullptr);
  EXPECT_EQ(call.written, static_cast<long long>(crlf(kProgressLine).size()))
      << "the progress line is held back during the broadcast";
  EXPECT_EQ(call.last_error, 0u);
}

// Any non-zero reply is success; a zero one is reported with the last error the call set, as
// an unsigned number, and not with one left over from before it.
TEST(InProcess, RepliesAndTheirAnswers) {
  const struct {
    LRESULT reply;
    DWORD stale;  // the last error before the run
    DWORD error;  // what a failing call sets
    const char* shown;  // in the failure line; none for a success
  } replies[] = {
      {1, 0, 0, nullptr},
      {-1, 0, 0, nullptr},
      {0x7fffffff, 5, 0, nullptr},
      {0, 0, 0, "0"},
      {0, 5, 0, "0"},
      {0, 5, 1460, "1460"},  // ERROR_TIMEOUT
      {0, 0, 5, "5"},        // ERROR_ACCESS_DENIED
      {0, 0, 0xffffffff, "4294967295"},
  };
  for (const auto& c : replies) {
    SCOPED_TRACE(testing::Message() << "reply " << c.reply << ", error " << c.error);
    reply = c.reply;
    last_error = c.stale;
    failure_error = c.error;
    Result r = run_main({"/BROADCAST"});
    EXPECT_EQ(r.out, crlf(c.shown ? kProgressLine : text(Answer::kBroadcast)));
    EXPECT_EQ(r.err, c.shown ? crlf(failure_text(c.shown)) : "");
    EXPECT_EQ(r.status, c.shown ? 1 : 0);
  }
}

// Installers and "2>&1" put both streams in one log: the failure line comes last there too.
TEST(InProcess, FailureFollowsTheProgressLineInOneLog) {
  reply = 0;
  failure_error = 1460;
  Result r = run_main({"/broadcast"}, true);
  EXPECT_EQ(r.out, crlf(kProgressLine + failure_text("1460")));
  EXPECT_EQ(r.status, 1);
}
