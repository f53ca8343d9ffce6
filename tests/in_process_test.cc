// The program's main run in this process, on the Windows runtime it ships with, its broadcast
// answered by a double that records what it was given: what no run of the real program can
// show, the call's own values, and a broadcast that fails. The doubles are declared in
// in_process.h, which only the program's own object includes.

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "answers.h"
#include "windows_harness.h"

int quorvane_main(int argc, char** argv);  // main, renamed for these tests

namespace {

const SuiteBound in_process{"InProcess", 60};

struct Call {
  HWND window;
  UINT message;
  WPARAM wparam;
  std::string section;  // what lparam pointed to, with its NUL
  UINT flags, timeout;
  PDWORD_PTR result;
  long long written;  // of standard output, in its file, at the moment of the call
  DWORD last_error;   // as the call found it
};

std::vector<Call> calls;
LRESULT reply = 1;
DWORD last_error = 0, failure_error = 0;  // what a failing call sets; 0: nothing

}  // namespace

LRESULT test_SendMessageTimeoutA(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                 UINT flags, UINT timeout, PDWORD_PTR result) {
  const char* text = reinterpret_cast<const char*>(lparam);
  calls.push_back({window, message, wparam, std::string(text, strlen(text) + 1), flags, timeout,
                   result, _filelengthi64(1), last_error});
  if (!reply && failure_error)
    last_error = failure_error;
  return reply;
}
DWORD test_GetLastError() { return last_error; }
void test_SetLastError(DWORD error) { last_error = error; }

namespace {

// Runs main on "/broadcast" with its standard output and error in text files of a test folder
// (one file for both: an installer's log), buffered as for a file, then flushes as exit does.
// Returns what each file holds and main's status. Nothing asserts while they are redirected.
std::vector<std::string> run_main(bool one_log = false) {
  Folder folder({"out", "err"});
  const std::string files[] = {folder.path() + "\\out", folder.path() + "\\err"};
  char* argv[] = {const_cast<char*>("Quorvane.exe"), const_cast<char*>("/BROADCAST"), nullptr};
  calls.clear();
  fflush(nullptr);
  int saved[] = {_dup(1), _dup(2)};
  for (int fd : {1, 2}) {  // one log is one open file, written at one position
    int file = fd == 2 && one_log ? _dup(1) : _open(files[fd - 1].c_str(), _O_WRONLY | _O_TEXT);
    _dup2(file, fd);
    _close(file);
  }
  setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
  int status = quorvane_main(2, argv);
  fflush(nullptr);
  for (int fd : {1, 2}) {
    _dup2(saved[fd - 1], fd);
    _close(saved[fd - 1]);
  }
  return {read_file(files[0]), one_log ? "" : read_file(files[1]), std::to_string(status)};
}

}  // namespace

// Every run makes one call, with Windows' own values, once the progress line is out and the
// last error cleared. Any non-zero reply is success; a zero one is reported with the last
// error the call set, as an unsigned number, not one left over from before it; in one log,
// after the progress line.
TEST(InProcess, BroadcastsWithWindowsOwnValuesAndAnswersTheReply) {
  const struct {
    LRESULT reply;
    DWORD stale, error;  // the last error before the run, and what a failing call sets
    const char* shown;   // in the failure line; none for a success
    bool one_log = false;
  } replies[] = {
      {1, 5, 0, nullptr}, {-1, 0, 0, nullptr}, {0x7fffffff, 5, 0, nullptr},
      {0, 0, 0, "0"}, {0, 5, 0, "0"}, {0, 5, 1460, "1460"}, {0, 0, 5, "5"},
      {0, 0, 0xffffffff, "4294967295"}, {0, 0, 1460, "1460", true},
  };
  for (const auto& c : replies) {
    SCOPED_TRACE(testing::Message() << "reply " << c.reply << ", error " << c.error);
    reply = c.reply;
    last_error = c.stale;
    failure_error = c.error;
    std::string out = c.shown ? kProgressLine : text(Answer::kBroadcast),
                err = c.shown ? failure_text(c.shown) : "";
    EXPECT_EQ(run_main(c.one_log), (std::vector<std::string>{
        crlf(c.one_log ? out + err : out), c.one_log ? "" : crlf(err), c.shown ? "1" : "0"}));
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
}
