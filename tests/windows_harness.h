// What the Windows end-to-end tests stand on: running a program as a process of its own
// with bounded waits, and top-level windows, owned by the test, that record the
// environment's WM_SETTINGCHANGE when it reaches them.
#ifndef QUORVANE_TESTS_WINDOWS_HARNESS_H_
#define QUORVANE_TESTS_WINDOWS_HARNESS_H_

#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "programs.h"

// Text mode turns each '\n' into "\r\n" on the way out.
std::string crlf(const std::string& text);

// Quotes an argument so that the runtime's command-line parser hands it back as it is.
std::string quote(const std::string& arg);

// A file in the folder this test was built in.
std::string beside_test(const std::string& name);

// The programs under test, as the build lists them: Quorvane.exe first, then the same module
// linked otherwise, such as QuorvaneW.exe for the GUI subsystem.
struct Program { const char* name; bool gui; };
inline const Program kPrograms[] = {QUORVANE_PROGRAMS};

// One of them: the one built beside this test, or the one in QUORVANE_DIR.
std::string program(const std::string& name = kPrograms[0].name);

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
  double seconds = 0;        // until the child exited
  double first_output = -1;  // until its first byte of output arrived
  bool ended = false;        // it was still running at the bound, and its tree was ended
};

// Where the program's standard output goes.
enum class Stdout { kPipe, kClosed, kBrokenPipe };

// Runs a command line in dir and collects what it writes. The child inherits its three
// standard handles alone (standard input is NUL), and runs with `flags` (by default in a
// console of its own with no window) in a job that ends it and all it started, once it has
// run for `bound` seconds or this call returns: a hang never stalls the suite. Pipes still
// held open after that fail the test. on_output, if given, is called once, with the
// child's process id, when its first output arrives.
Outcome run_command(std::string command, const std::string& dir, Stdout mode = Stdout::kPipe,
                    double bound = 30, DWORD flags = CREATE_NO_WINDOW,
                    const std::function<void(DWORD)>& on_output = nullptr);

// Runs a program under test with these arguments.
Outcome run(const std::string& exe, const std::vector<std::string>& args, const std::string& dir,
            Stdout mode = Stdout::kPipe);

// How a listener thread treats the messages sent to its windows.
enum class Behaviour {
  kHealthy,  // answers at once
  kSlow,     // takes 8 s to answer for "Environment", longer than the broadcast's timeout
  kHung,     // never pumps messages
};

// Which form of the messages a window's class asks for.
enum class Charset { kAnsi, kUnicode };

struct Window {
  Behaviour behaviour;
  Charset charset;
  std::vector<WPARAM> received;  // the wParam of each that reached it
};

// A thread owning top-level windows that record every WM_SETTINGCHANGE for "Environment".
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

// Every window got exactly `count` WM_SETTINGCHANGEs for "Environment" in its own charset,
// each with wParam 0. Windows record no other section.
void expect_environment_changes(const std::vector<Window>& windows, size_t count = 1);

// Another program on the same desktop, as a real one has: it broadcasts WM_SETTINGCHANGE
// for other sections every 200 ms while it lives.
struct ForeignBroadcasts {
  std::atomic<bool> done{false};
  std::thread thread{[this] {
    for (; !done; Sleep(200)) {
      for (const char* section : {"Policy", "ImmersiveColorSet", (const char*)nullptr}) {
        SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                            reinterpret_cast<LPARAM>(section), SMTO_ABORTIFHUNG, 1000, nullptr);
      }
    }
  }};
  ~ForeignBroadcasts() {
    done = true;
    thread.join();
  }
};

// The Windows build this runs on, as ntdll tells it: GetVersionEx answers what a program's
// manifest claims to support.
DWORD windows_build();

// A registry key, by its root and path: where the user's and the machine's variables are.
struct RegKey { HKEY root; const wchar_t* path; };
inline const RegKey kUserEnvironment{HKEY_CURRENT_USER, L"Environment"};
inline const RegKey kMachineEnvironment{
    HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"};

// A value under a key as the registry holds it: its type, and its bytes as UTF-16 code units,
// a string's terminating NUL included. Setting none deletes it.
struct RegValue {
  DWORD type;
  std::wstring data;
  bool operator==(const RegValue& other) const { return type == other.type && data == other.data; }
};
void PrintTo(const RegValue& value, std::ostream* out);
std::optional<RegValue> reg_value(const RegKey& key, const std::wstring& name);
void set_reg_value(const RegKey& key, const std::wstring& name, const std::optional<RegValue>& value);

// A file's bytes, and a file written whole.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);

// How long a suite may run, said beside its tests: a few times what it takes, so that the
// suite runner ends a hung suite instead of stalling. Every suite has one; the test program
// lists them with --suites.
struct SuiteBound { SuiteBound(const char* suite, int seconds); };

#endif  // QUORVANE_TESTS_WINDOWS_HARNESS_H_
