// Runs the built program as a process and checks what a caller sees: standard
// output byte for byte, standard error and the exit status.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

  // Reading and waiting share one bound, so that a child that hangs, or leaves its
  // pipes with a descendant, fails the test instead of stalling it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  auto left_ms = [&] {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
  };
  Outcome o{"", "", -1};
  pollfd pipes[] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* texts[] = {&o.out, &o.err};
  while ((pipes[0].fd >= 0 || pipes[1].fd >= 0) && poll(pipes, 2, left_ms()) > 0) {
    for (int i = 0; i < 2; ++i) {
      char buffer[4096];
      ssize_t n = pipes[i].revents ? read(pipes[i].fd, buffer, sizeof buffer) : 0;
      if (n > 0) {
        texts[i]->append(buffer, n);
      } else if (pipes[i].revents) {
        close(pipes[i].fd);
        pipes[i].fd = -1;  // poll passes over it from now on
      }
    }
  }
  for (const pollfd& p : pipes) {
    if (p.fd >= 0) {
      ADD_FAILURE() << "output still open after 30 s";
      close(p.fd);
    }
  }
  if (spawned != 0)
    return o;
  int wstatus = 0;
  pid_t done;
  while ((done = waitpid(pid, &wstatus, WNOHANG)) == 0 && left_ms() > 0)
    usleep(10000);
  if (done == 0) {
    ADD_FAILURE() << "still running after 30 s; killed";
    kill(pid, SIGKILL);
    waitpid(pid, &wstatus, 0);
  } else {
    o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  }
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
