// End-to-end tests of Quorvane.exe under a real Win32 implementation. The program runs
// as a process of its own while real top-level windows, owned by this test, record
// every WM_SETTINGCHANGE that reaches them.

#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "answers.h"

namespace {

// Text mode turns each '\n' into "\r\n" on the way out.
std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += '\r';
    out += c;
  }
  return out;
}

// Quotes an argument so that the runtime's command-line parser hands it back as it is.
std::string quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
    return arg;
  std::string quoted = "\"";
  size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    quoted += c;
    slashes = 0;
  }
  quoted.append(2 * slashes, '\\');
  return quoted + '"';
}

// Quorvane.exe is built beside this test.
std::string program() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, n);
  return self.substr(0, self.find_last_of("\\/") + 1) + "Quorvane.exe";
}

// A fresh folder, removed with what the test put in it.
class Folder {
 public:
  explicit Folder(const std::vector<std::string>& files = {}) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "quorvane-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++count_);
    EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr)) << path_;
    for (const std::string& name : files) {
      std::string file = path_ + "\\" + name;
      HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
      EXPECT_NE(h, INVALID_HANDLE_VALUE) << file;
      CloseHandle(h);
      files_.push_back(file);
    }
  }
  ~Folder() {
    for (const std::string& file : files_)
      DeleteFileA(file.c_str());
    RemoveDirectoryA(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  static int count_;
  std::string path_;
  std::vector<std::string> files_;
};
int Folder::count_ = 0;

struct Outcome {
  std::string out, err;
  DWORD status = 0xdead;
  double seconds = 0;
};

// Where the program's standard output goes.
enum class Stdout { kPipe, kClosed, kBrokenPipe };

std::string drain(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD n;
  while (pipe && ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0)
    text.append(buffer, n);
  if (pipe)
    CloseHandle(pipe);
  return text;
}

Outcome run(const std::vector<std::string>& args, const std::string& dir,
            Stdout mode = Stdout::kPipe) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = INVALID_HANDLE_VALUE, err_read, err_write;
  if (mode != Stdout::kClosed) {
    EXPECT_TRUE(CreatePipe(&out_read, &out_write, &inherit, 0));
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  }
  if (mode == Stdout::kBrokenPipe) {
    CloseHandle(out_read);
    out_read = nullptr;
  }
  EXPECT_TRUE(CreatePipe(&err_read, &err_write, &inherit, 0));
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);

  std::string command = quote(program());
  for (const std::string& arg : args)
    command += " " + quote(arg);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process{};
  ULONGLONG start = GetTickCount64();
  BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                dir.c_str(), &startup, &process);
  EXPECT_TRUE(started) << "error " << GetLastError();
  if (out_write != INVALID_HANDLE_VALUE)
    CloseHandle(out_write);
  CloseHandle(err_write);

  // The program writes far less than a pipe holds, so reading one pipe at a time cannot stall.
  Outcome o;
  o.out = drain(out_read);
  o.err = drain(err_read);
  if (started) {
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    o.seconds = (GetTickCount64() - start) / 1000.0;
    GetExitCodeProcess(process.hProcess, &o.status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return o;
}

// How a listener thread treats the messages sent to its windows.
enum class Behaviour {
  kHealthy,  // answers at once
  kSlow,     // takes longer than the broadcast's timeout to answer
  kHung,     // never pumps messages
};

struct Received {
  WPARAM wparam;
  bool has_text;
  std::string text;  // what lParam pointed to
};

struct Window {
  Behaviour behaviour;
  std::vector<Received> received;
};

LRESULT CALLBACK record(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* window = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (message != WM_SETTINGCHANGE || !window)
    return DefWindowProcA(hwnd, message, wparam, lparam);
  if (window->behaviour == Behaviour::kSlow)
    Sleep(6000);
  const char* text = reinterpret_cast<const char*>(lparam);
  window->received.push_back({wparam, text != nullptr, text ? text : ""});
  return 0;
}

// A thread owning top-level windows that record every WM_SETTINGCHANGE they get.
// Their records are read only after stop() has joined the thread, and the thread makes
// no assertions of its own.
class Listeners {
 public:
  Listeners(int count, Behaviour behaviour)
      : windows_(count), behaviour_(behaviour),
        ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    for (Window& w : windows_)
      w.behaviour = behaviour;
    thread_ = CreateThread(nullptr, 0, &Listeners::thread_main, this, 0, &thread_id_);
    EXPECT_EQ(WaitForSingleObject(ready_, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(created_, count) << "windows created";
  }
  ~Listeners() { stop(); }

  std::vector<Window>& stop() {
    if (thread_) {
      SetEvent(release_);
      PostThreadMessageA(thread_id_, WM_QUIT, 0, 0);
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
      CloseHandle(ready_);
      CloseHandle(release_);
      thread_ = nullptr;
    }
    return windows_;
  }

 private:
  static DWORD WINAPI thread_main(void* self) {
    static_cast<Listeners*>(self)->listen();
    return 0;
  }

  void listen() {
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = record;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "QuorvaneListener";
    RegisterClassA(&window_class);  // fails harmlessly when already registered

    std::vector<HWND> handles;
    for (Window& w : windows_) {
      HWND hwnd = CreateWindowExA(0, "QuorvaneListener", "listener", WS_OVERLAPPEDWINDOW, 0,
                                  0, 100, 100, nullptr, nullptr, window_class.hInstance,
                                  nullptr);
      if (!hwnd)
        continue;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&w));
      handles.push_back(hwnd);
    }
    created_ = static_cast<int>(handles.size());
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue for WM_QUIT
    SetEvent(ready_);

    if (behaviour_ == Behaviour::kHung) {
      WaitForSingleObject(release_, INFINITE);
    } else {
      while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    }
    for (HWND hwnd : handles)
      DestroyWindow(hwnd);
  }

  std::vector<Window> windows_;
  Behaviour behaviour_;
  HANDLE ready_, release_, thread_ = nullptr;
  DWORD thread_id_ = 0;
  int created_ = 0;  // set by the thread before it signals ready_
};

// Every window got exactly one WM_SETTINGCHANGE, with wParam 0 and "Environment".
void expect_one_environment_change(const std::vector<Window>& windows) {
  for (size_t i = 0; i < windows.size(); ++i) {
    SCOPED_TRACE("window " + std::to_string(i));
    ASSERT_EQ(windows[i].received.size(), 1u);
    const Received& r = windows[i].received[0];
    EXPECT_EQ(r.wparam, 0u);
    EXPECT_TRUE(r.has_text);
    EXPECT_EQ(r.text, "Environment");
  }
}

}  // namespace

TEST(Output, AnswersEveryArgumentVector) {
  Folder empty;  // so that no argument matches a file name
  for (const Case& c : cases()) {
    SCOPED_TRACE(label(c));
    Outcome o = run(c.args, empty.path());
    EXPECT_EQ(o.out, crlf(text(c.answer)));
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, static_cast<DWORD>(exit_status(c.answer)));
  }
}

TEST(Delivery, OnlyBroadcastReachesTheWindows) {
  const Case runs[] = {
      {{"/broadcast"}, Answer::kBroadcast},
      {{"/BROADCAST"}, Answer::kBroadcast},
      {{"/Broadcast"}, Answer::kBroadcast},
      {{}, Answer::kUsage},
      {{"/help"}, Answer::kUsage},
      {{"broadcast"}, Answer::kIncorrect},
      {{"/broadcast:now"}, Answer::kIncorrect},
      {{"/broadcast", "/broadcast"}, Answer::kTooMany},
  };
  Folder empty;
  for (const Case& c : runs) {
    SCOPED_TRACE(label(c));
    Listeners listeners(3, Behaviour::kHealthy);
    Outcome o = run(c.args, empty.path());
    EXPECT_EQ(o.out, crlf(text(c.answer)));
    EXPECT_EQ(o.status, static_cast<DWORD>(exit_status(c.answer)));
    std::vector<Window>& windows = listeners.stop();
    if (c.answer == Answer::kBroadcast) {
      expect_one_environment_change(windows);
    } else {
      for (const Window& w : windows)
        EXPECT_TRUE(w.received.empty());
    }
  }
}

TEST(Wildcards, PatternsAreExpandedAgainstTheFolder) {
  Folder folder({"w1.txt", "w2.txt"});
  const Case runs[] = {
      {{"w?.txt"}, Answer::kTooMany},   // becomes w1.txt w2.txt
      {{"w*.txt"}, Answer::kTooMany},
      {{"w1.txt"}, Answer::kIncorrect},
      {{"w1.t?t"}, Answer::kIncorrect},  // one match is one argument
      {{"q?.txt"}, Answer::kIncorrect},  // no match: arrives as typed
      {{"/?"}, Answer::kUsage},
      {{"-?"}, Answer::kUsage},
  };
  for (const Case& c : runs) {
    SCOPED_TRACE(label(c));
    Outcome o = run(c.args, folder.path());
    EXPECT_EQ(o.out, crlf(text(c.answer)));
    EXPECT_EQ(o.status, static_cast<DWORD>(exit_status(c.answer)));
  }
}

// Output that cannot be written is lost quietly; the broadcast still happens.
TEST(Delivery, UnwritableStandardOutputStillBroadcasts) {
  Folder empty;
  for (Stdout mode : {Stdout::kClosed, Stdout::kBrokenPipe}) {
    SCOPED_TRACE(mode == Stdout::kClosed ? "no standard output" : "pipe with no reader");
    Listeners listeners(2, Behaviour::kHealthy);
    Outcome o = run({"/broadcast"}, empty.path(), mode);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0u);
    expect_one_environment_change(listeners.stop());
  }
}

// What Windows reads from the file before the program runs: the manifest and the version.
TEST(Resources, ManifestAndVersionAreEmbedded) {
  HMODULE exe = LoadLibraryExA(program().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  std::string manifest(static_cast<const char*>(LockResource(LoadResource(exe, found))),
                       SizeofResource(exe, found));
  FreeLibrary(exe);
  EXPECT_NE(manifest.find(R"(level="asInvoker")"), std::string::npos) << manifest;
  for (const char* os : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a",    // 7
                         "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",    // 8
                         "1f676c76-80e1-4239-95bb-83d0f6d0da78",    // 8.1
                         "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {  // 10 and 11
    EXPECT_NE(manifest.find(os), std::string::npos) << os;
  }

  DWORD size = GetFileVersionInfoSizeA(program().c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(program().c_str(), 0, size, info.data()));
  auto value = [&](const char* name) {
    char* text = nullptr;
    UINT length = 0;
    std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    return VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &length)
               ? std::string(text)
               : std::string("(missing)");
  };
  EXPECT_EQ(value("ProductName"), "Quorvane");
  EXPECT_EQ(value("OriginalFilename"), "Quorvane.exe");
  EXPECT_EQ(value("FileVersion"), QUORVANE_VERSION);
  EXPECT_EQ(value("ProductVersion"), QUORVANE_VERSION);
  EXPECT_NE(value("FileDescription"), "(missing)");
}

TEST(Faults, UnresponsiveWindowsDoNotStopTheBroadcast) {
  Listeners healthy(50, Behaviour::kHealthy);
  Listeners slow(1, Behaviour::kSlow);
  Listeners hung(1, Behaviour::kHung);
  Folder empty;
  Outcome o = run({"/broadcast"}, empty.path());
  RecordProperty("seconds", std::to_string(o.seconds));
  printf("/broadcast past one slow and one hung window took %.1f s\n", o.seconds);

  EXPECT_EQ(o.out, crlf(text(Answer::kBroadcast)));
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.status, 0u);
  // The platform allows each unresponsive window 5 s; two of them, generously bounded.
  EXPECT_LT(o.seconds, 20.0);
  expect_one_environment_change(healthy.stop());
}
