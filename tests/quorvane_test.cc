// Runs the program's main in-process, with the window-messaging call replaced by a
// double that records what it was given and answers as the test asks.

#include <fcntl.h>
#include <stdio_ext.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "answers.h"
#include "platform.h"

int quorvane_main(int argc, char** argv);  // main, renamed for this test

namespace {

struct Call {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  std::string section;  // the bytes lparam pointed to, up to and including the NUL
  UINT flags;
  UINT timeout;
  PDWORD_PTR result;
  size_t unwritten;   // bytes still held in standard output's buffer
  DWORD last_error;   // as the call found it
};

std::vector<Call> calls;
LRESULT reply = 1;
DWORD last_error = 0;
DWORD failure_error = 0;  // what a failing call sets the last error to; 0: nothing

struct Outcome {
  std::string out, err;
  int status;
};

Outcome run(std::vector<std::string> args) {
  std::vector<char*> argv{const_cast<char*>("Quorvane")};
  for (std::string& arg : args)
    argv.push_back(&arg[0]);
  argv.push_back(nullptr);

  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int status = quorvane_main(static_cast<int>(argv.size() - 1), argv.data());
  std::string err = testing::internal::GetCapturedStderr();
  return {testing::internal::GetCapturedStdout(), err, status};
}

class Quorvane : public testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    reply = 1;
    last_error = 0;
    failure_error = 0;
    // Buffered as for a pipe or a file, where installers send it, even under a terminal.
    fflush(stdout);
    setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
  }
  void TearDown() override {
    fflush(stdout);
    setvbuf(stdout, nullptr, isatty(1) ? _IOLBF : _IOFBF, BUFSIZ);
  }
};

}  // namespace

LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                            UINT flags, UINT timeout, PDWORD_PTR result) {
  const char* text = reinterpret_cast<const char*>(lparam);
  std::string section = text ? std::string(text, strlen(text) + 1) : std::string();
  calls.push_back({window, message, wparam, lparam, section, flags, timeout, result,
                   __fpending(stdout), last_error});
  if (!reply && failure_error)
    last_error = failure_error;
  return reply;
}

DWORD GetLastError() { return last_error; }
void SetLastError(DWORD error) { last_error = error; }

namespace {

// Runs "/broadcast" with standard output and error on these descriptors (-1: closed), as
// the runtime would see them, and flushes as exit does.
int run_redirected(int out, int err) {
  fflush(stdout);
  int saved_out = dup(1), saved_err = dup(2);
  out < 0 ? close(1) : dup2(out, 1);
  dup2(err, 2);
  char* argv[] = {const_cast<char*>("Quorvane"), const_cast<char*>("/broadcast"), nullptr};
  int status = quorvane_main(2, argv);
  fflush(stdout);
  clearerr(stdout);
  dup2(saved_out, 1);
  dup2(saved_err, 2);
  close(saved_out);
  close(saved_err);
  return status;
}

}  // namespace

TEST_F(Quorvane, AnswersEveryArgumentVector) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(label(c));
    calls.clear();
    Outcome o = run(c.args);
    EXPECT_EQ(o.out, text(c.answer));
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, exit_status(c.answer));
    EXPECT_EQ(calls.size(), c.answer == Answer::kBroadcast ? 1u : 0u);
  }
}

TEST_F(Quorvane, EmptyArgumentVectorIsNoArgument) {
  char* argv[] = {nullptr};
  testing::internal::CaptureStdout();
  int status = quorvane_main(0, argv);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kUsageText);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(calls.empty());
}

TEST_F(Quorvane, BroadcastsEnvironmentWithThePlatformValues) {
  last_error = 5;  // left over from start-up
  run({"/broadcast"});
  ASSERT_EQ(calls.size(), 1u);
  const Call& call = calls[0];
  EXPECT_EQ(call.window, reinterpret_cast<HWND>(0xffff));
  EXPECT_EQ(call.message, 0x001Au);
  EXPECT_EQ(call.wparam, 0u);
  EXPECT_EQ(call.section, std::string("Environment", 12));  // 11 letters and the NUL
  EXPECT_EQ(call.flags, 0x0002u);
  EXPECT_EQ(call.timeout, 5000u);
  EXPECT_EQ(call.result, nullptr);
  EXPECT_EQ(call.unwritten, 0u) << "the progress line is held back during the broadcast";
  EXPECT_EQ(call.last_error, 0u);
}

TEST_F(Quorvane, AnyNonZeroReplyIsSuccess) {
  for (LRESULT r : {LRESULT{1}, LRESULT{-1}, LRESULT{0x7fffffff}}) {
    SCOPED_TRACE(r);
    reply = r;
    Outcome o = run({"/broadcast"});
    EXPECT_EQ(o.out, text(Answer::kBroadcast));
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0);
  }
}

TEST_F(Quorvane, FailedBroadcastIsReportedWithTheLastError) {
  const struct {
    DWORD stale;  // the last error before the run
    DWORD error;  // what the failing call sets
    const char* shown;
  } failures[] = {
      {0, 0, "0"},
      {5, 0, "0"},        // a failure that sets no error is not blamed on an earlier one
      {5, 1460, "1460"},  // ERROR_TIMEOUT
      {0, 5, "5"},        // ERROR_ACCESS_DENIED
      {0, 0xffffffff, "4294967295"},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.shown);
    reply = 0;
    last_error = f.stale;
    failure_error = f.error;
    Outcome o = run({"/BROADCAST"});
    EXPECT_EQ(o.out, kProgressLine);
    EXPECT_EQ(o.err, failure_text(f.shown));
    EXPECT_EQ(o.status, 1);
  }
}

// Installers and "2>&1" put both streams in one log: the failure line comes last there too.
TEST_F(Quorvane, FailureFollowsTheProgressLineInOneLog) {
  reply = 0;
  failure_error = 1460;
  FILE* log = tmpfile();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(run_redirected(fileno(log), fileno(log)), 1);
  char text[512] = {};
  rewind(log);
  size_t n = fread(text, 1, sizeof text, log);
  fclose(log);
  EXPECT_EQ(std::string(text, n), kProgressLine + failure_text("1460"));
}

TEST_F(Quorvane, BroadcastsWhenStandardOutputCannotBeWritten) {
  for (bool closed : {true, false}) {
    SCOPED_TRACE(closed ? ">&-" : ">/dev/full");
    calls.clear();
    int full = open("/dev/full", O_WRONLY);
    EXPECT_EQ(run_redirected(closed ? -1 : full, 2), 0);
    close(full);
    EXPECT_EQ(calls.size(), 1u);
  }
}
