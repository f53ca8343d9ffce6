// Runs the built program as a process and checks what a caller sees: standard
// output byte for byte, standard error and the exit status.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "answers.h"

extern char** environ;

namespace {

struct Outcome {
  std::string out, err;
  int status;
};

std::string drain(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, n);
  close(fd);
  return text;
}

// Where the program's standard output goes.
enum class Stdout { kPipe, kClosed, kFull };

Outcome run(std::vector<std::string> args, Stdout mode = Stdout::kPipe) {
  std::vector<char*> argv{const_cast<char*>(QUORVANE_PATH)};
  for (std::string& arg : args)
    argv.push_back(&arg[0]);
  argv.push_back(nullptr);

  int out[2], err[2];
  EXPECT_EQ(pipe(out), 0);
  EXPECT_EQ(pipe(err), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (mode == Stdout::kPipe)
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  else if (mode == Stdout::kClosed)
    posix_spawn_file_actions_addclose(&actions, 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  pid_t pid;
  int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  EXPECT_EQ(spawned, 0) << QUORVANE_PATH;

  // The program writes far less than a pipe holds, so reading one pipe at a time cannot stall.
  Outcome o{drain(out[0]), drain(err[0]), -1};
  int wstatus = 0;
  if (spawned == 0 && waitpid(pid, &wstatus, 0) == pid)
    o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return o;
}

}  // namespace

TEST(Process, AnswersEveryArgumentVector) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(label(c));
    Outcome o = run(c.args);
    EXPECT_EQ(o.out, text(c.answer));
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, exit_status(c.answer));
  }
}

// Output that cannot be written is lost quietly; the run itself goes on as usual.
TEST(Process, UnwritableStandardOutputIsNoCrash) {
  for (Stdout mode : {Stdout::kClosed, Stdout::kFull}) {
    for (const Case& c : std::vector<Case>{{{"/broadcast"}, Answer::kBroadcast},
                                           {{"/help"}, Answer::kUsage},
                                           {{"wrong"}, Answer::kIncorrect}}) {
      SCOPED_TRACE(label(c) + (mode == Stdout::kClosed ? " >&-" : " >/dev/full"));
      Outcome o = run(c.args, mode);
      EXPECT_EQ(o.err, "");
      EXPECT_EQ(o.status, exit_status(c.answer));
    }
  }
}
