// What the Windows end-to-end tests stand on: running a program as a process of its own
// with bounded waits, and top-level windows, owned by the test, that record every
// WM_SETTINGCHANGE reaching them.
#ifndef QUORVANE_TESTS_WINDOWS_HARNESS_H_
#define QUORVANE_TESTS_WINDOWS_HARNESS_H_

#include <windows.h>

#include <string>
#include <vector>

// Text mode turns each '\n' into "\r\n" on the way out.
std::string crlf(const std::string& text);

// Quotes an argument so that the runtime's command-line parser hands it back as it is.
std::string quote(const std::string& arg);

// A file in the folder this test was built in.
std::string beside_test(const std::string& name);

// The Quorvane.exe under test: the one built beside this test, or QUORVANE_EXE's.
std::string program();

// A fresh folder, removed with what the test put in it.
class Folder {
 public:
  explicit Folder(const std::vector<std::string>& files = {});
  ~Folder();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

struct Outcome {
  std::string out, err;
  DWORD status = 0xdead;
  double seconds = 0;
};

// Where the program's standard output goes.
enum class Stdout { kPipe, kClosed, kBrokenPipe };

// Runs a command line in dir and collects what it writes. A child still running after
// `bound` seconds, or whose pipes some other process still holds open, is ended and
// reported as a failure: a crash or a hang never stalls the suite.
Outcome run_command(std::string command, const std::string& dir, Stdout mode = Stdout::kPipe,
                    double bound = 30);

// Runs Quorvane.exe with these arguments.
Outcome run(const std::vector<std::string>& args, const std::string& dir,
            Stdout mode = Stdout::kPipe);

// How a listener thread treats the messages sent to its windows.
enum class Behaviour {
  kHealthy,  // answers at once
  kSlow,     // takes 8 s to answer, longer than the broadcast's timeout
  kHung,     // never pumps messages
};

// Which form of the messages a window's class asks for.
enum class Charset { kAnsi, kUnicode };

struct Received {
  WPARAM wparam;
  std::string text;  // the bytes lParam pointed to, up to and including the NUL
};

struct Window {
  Behaviour behaviour;
  Charset charset;
  std::vector<Received> received;
};

// A thread owning top-level windows that record every WM_SETTINGCHANGE they get.
// Their records are read only after stop() has joined the thread, and the thread makes
// no assertions of its own.
class Listeners {
 public:
  Listeners(int count, Behaviour behaviour, Charset charset = Charset::kAnsi);
  ~Listeners() { stop(); }
  std::vector<Window>& stop();

 private:
  static DWORD WINAPI thread_main(void* self);
  void listen();

  std::vector<Window> windows_;
  Behaviour behaviour_;
  Charset charset_;
  HANDLE ready_, release_, thread_ = nullptr;
  DWORD thread_id_ = 0;
  int created_ = 0;  // set by the thread before it signals ready_
};

// Every window got exactly `count` WM_SETTINGCHANGEs, each with wParam 0 and "Environment"
// in the window's own charset.
void expect_environment_changes(const std::vector<Window>& windows, size_t count = 1);

// A value under HKCU\Environment, or "(missing)".
std::string user_environment(const char* name);

#endif  // QUORVANE_TESTS_WINDOWS_HARNESS_H_
