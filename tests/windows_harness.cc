#include "windows_harness.h"

#include <imm.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

std::string crlf(const std::string& text) { return std::regex_replace(text, std::regex("\n"), "\r\n"); }

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

std::string beside_test(const std::string& name) {
  char path[MAX_PATH];
  std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  return self.substr(0, self.find_last_of("\\/") + 1) + name;
}

std::string program(const std::string& name) {
  const char* other = getenv("QUORVANE_DIR");  // such as a signed release, unpacked
  return other && *other ? std::string(other) + "\\" + name : beside_test(name);
}

Folder::Folder(const std::vector<std::string>& files) {
  static int count = 0;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  // Process ids come round again, and a failed run may have left its folder behind.
  do {
    path_ = std::string(temp) + "quorvane-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++count);
  } while (!CreateDirectoryA(path_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
  EXPECT_NE(GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES) << path_;
  for (const std::string& name : files) {
    std::string file = path_ + "\\" + name;
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << file;
    CloseHandle(h);
    files_.push_back(file);
  }
}

Folder::~Folder() {
  for (const std::string& file : files_)
    DeleteFileA(file.c_str());
  RemoveDirectoryA(path_.c_str());
}

namespace {

// A job that ends every process in it once its last handle closes, and the attribute list
// that lets a child inherit these handles and no other.
struct Spawn {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  std::vector<char> attributes;
  std::vector<HANDLE> handles;

  explicit Spawn(std::initializer_list<HANDLE> inherit) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    EXPECT_TRUE(SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                        sizeof limits));
    for (HANDLE h : inherit) {
      // Windows refuses a handle listed twice (Wine does not).
      if (h && h != INVALID_HANDLE_VALUE &&
          std::find(handles.begin(), handles.end(), h) == handles.end())
        handles.push_back(h);
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributes.resize(size);
    EXPECT_TRUE(InitializeProcThreadAttributeList(list(), 1, 0, &size));
    EXPECT_TRUE(UpdateProcThreadAttribute(list(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                          handles.data(), handles.size() * sizeof(HANDLE),
                                          nullptr, nullptr));
  }
  ~Spawn() {
    DeleteProcThreadAttributeList(list());
    CloseHandle(job);
  }
  LPPROC_THREAD_ATTRIBUTE_LIST list() {
    return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  }
};

// Whether every process left in the job but `child` is a console host. Wine's, started for a
// child with a console of its own, inherits the child's handles, pipes included, and has
// held them for the whole bound after the child exited; no program writes through it.
bool only_console_hosts(HANDLE job, DWORD child) {
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[63];
  } ids{};
  ids.list.NumberOfAssignedProcesses = 64;
  if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
    return false;
  for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
    DWORD id = static_cast<DWORD>(ids.list.ProcessIdList[i]);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    char path[MAX_PATH];
    DWORD size = MAX_PATH;
    bool host = process && QueryFullProcessImageNameA(process, 0, path, &size) &&
                _stricmp(path + std::string(path).find_last_of('\\') + 1, "conhost.exe") == 0;
    if (process)
      CloseHandle(process);
    if (id != child && !host)
      return false;
  }
  return true;
}

}  // namespace

Outcome run_command(std::string command, const std::string& dir, Stdout mode, double bound,
                    DWORD flags, const std::function<void(DWORD)>& on_output) {
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
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);

  // The child and all it starts (Quorvane.exe under cmd.exe, say) share a job, so that a
  // bounded run, or the end of this call, ends the whole tree.
  Spawn spawn({input, out_write, err_write});
  STARTUPINFOEXA startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = out_write;
  startup.StartupInfo.hStdError = err_write;
  startup.lpAttributeList = spawn.list();
  PROCESS_INFORMATION process{};
  ULONGLONG start = GetTickCount64();
  BOOL started = FALSE;
  DWORD error = 0;
  for (int attempt = 1; attempt <= 2 && !started; ++attempt) {
    started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE,
                             CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT | flags, nullptr,
                             dir.c_str(), &startup.StartupInfo, &process);
    error = started ? 0 : GetLastError();
    // Wine now and then fails a start with ERROR_INTERNAL_ERROR; that one error, once, is
    // tried again, and said.
    if (error != ERROR_INTERNAL_ERROR || attempt == 2)
      break;
    printf("%s: CreateProcess failed with error %lu; trying once more\n", command.c_str(), error);
  }
  EXPECT_TRUE(started) << command << ": error " << error;
  if (started) {
    EXPECT_TRUE(AssignProcessToJobObject(spawn.job, process.hProcess));
    ResumeThread(process.hThread);
  }
  if (out_write != INVALID_HANDLE_VALUE)
    CloseHandle(out_write);
  CloseHandle(err_write);
  CloseHandle(input);

  // Reads only what has arrived, so that neither a silent child nor one that leaves a
  // descendant holding its pipes can block the test past the bound.
  Outcome o;
  HANDLE pipes[] = {out_read, err_read};
  std::string* texts[] = {&o.out, &o.err};
  bool exited = !started;
  auto pump = [&](ULONGLONG until) {
    bool open = true;
    while ((open || !exited) && GetTickCount64() < until) {
      open = false;
      for (int i = 0; i < 2; ++i) {
        DWORD available = 0;
        if (!pipes[i])
          continue;
        if (!PeekNamedPipe(pipes[i], nullptr, 0, nullptr, &available, nullptr)) {
          CloseHandle(pipes[i]);  // every writer has closed it
          pipes[i] = nullptr;
          continue;
        }
        open = true;
        std::string chunk(available, '\0');
        DWORD n = 0;
        if (available && ReadFile(pipes[i], &chunk[0], available, &n, nullptr))
          texts[i]->append(chunk, 0, n);
      }
      if (o.first_output < 0 && !(o.out.empty() && o.err.empty())) {
        o.first_output = (GetTickCount64() - start) / 1000.0;
        if (on_output)
          on_output(process.dwProcessId);
      }
      if (!exited && WaitForSingleObject(process.hProcess, open ? 2 : 20) == WAIT_OBJECT_0) {
        exited = true;
        o.seconds = (GetTickCount64() - start) / 1000.0;
      } else if (exited && open) {
        // What the child wrote stays readable once the hosts that hold its pipes are ended;
        // a descendant of its own still holds them until the bound.
        if (only_console_hosts(spawn.job, process.dwProcessId))
          TerminateJobObject(spawn.job, 0);
        Sleep(2);
      }
    }
  };
  pump(start + static_cast<ULONGLONG>(bound * 1000));
  if (!exited || pipes[0] || pipes[1]) {
    // Whoever expects this run to finish sees the status; the pipes must close within moments.
    printf("%s: still running after %g s; its process tree ended\n", command.c_str(), bound);
    o.ended = true;
    TerminateJobObject(spawn.job, 0xdead);
    pump(GetTickCount64() + 2000);
  }
  if (started) {
    GetExitCodeProcess(process.hProcess, &o.status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  for (HANDLE pipe : pipes) {
    if (pipe) {
      ADD_FAILURE() << command << ": its output is still held open after its tree was ended";
      CloseHandle(pipe);
    }
  }
  return o;
}

Outcome run(const std::string& exe, const std::vector<std::string>& args, const std::string& dir,
            Stdout mode) {
  std::string command = quote(exe);
  for (const std::string& arg : args)
    command += " " + quote(arg);
  return run_command(command, dir, mode);
}

namespace {

// "Environment" with its NUL, as a window of each charset receives it.
const std::string kAnsiEnvironment("Environment", 12);
const std::string kUnicodeEnvironment(reinterpret_cast<const char*>(L"Environment"),
                                      12 * sizeof(wchar_t));

LRESULT CALLBACK record(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* window = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (message != WM_SETTINGCHANGE || !window) {
    return IsWindowUnicode(hwnd) ? DefWindowProcW(hwnd, message, wparam, lparam)
                                 : DefWindowProcA(hwnd, message, wparam, lparam);
  }
  bool unicode = window->charset == Charset::kUnicode;
  std::string text;
  if (lparam && unicode) {
    auto* wide = reinterpret_cast<const wchar_t*>(lparam);
    text.assign(reinterpret_cast<const char*>(wide), (wcslen(wide) + 1) * sizeof(wchar_t));
  } else if (lparam) {
    auto* narrow = reinterpret_cast<const char*>(lparam);
    text.assign(narrow, strlen(narrow) + 1);
  }
  // Other programs broadcast other sections ("Policy", "ImmersiveColorSet", none at all):
  // only the environment's is Quorvane's.
  if (text != (unicode ? kUnicodeEnvironment : kAnsiEnvironment))
    return 0;
  window->received.push_back(wparam);
  // Slow to Quorvane alone: kept busy by another program's message, it could be judged hung.
  if (window->behaviour == Behaviour::kSlow)
    Sleep(8000);
  return 0;
}

}  // namespace

Listeners::Listeners(int count, Behaviour behaviour, Charset charset)
    : windows_(count, Window{behaviour, charset, {}}), behaviour_(behaviour), charset_(charset),
      ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  thread_ = CreateThread(nullptr, 0, &Listeners::thread_main, this, 0, &thread_id_);
  EXPECT_EQ(WaitForSingleObject(ready_, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(created_, count) << "windows created";
}

std::vector<Window>& Listeners::stop() {
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

DWORD WINAPI Listeners::thread_main(void* self) {
  static_cast<Listeners*>(self)->listen();
  return 0;
}

void Listeners::listen() {
  // Without this the thread gets a top-level IME window of its own, which a broadcast also
  // reaches: behind a slow or hung window on the same thread it would cost a second timeout,
  // or wait for the handler, as the system judges the thread hung or not at that moment.
  ImmDisableIME(GetCurrentThreadId());
  HINSTANCE instance = GetModuleHandleA(nullptr);
  // Registering fails harmlessly when an earlier thread has done it. A window is Unicode
  // when its class was registered so, however it is created.
  WNDCLASSW unicode{0, record, 0, 0, instance, nullptr, nullptr, nullptr, nullptr, L"ListenerW"};
  WNDCLASSA ansi{0, record, 0, 0, instance, nullptr, nullptr, nullptr, nullptr, "ListenerA"};
  RegisterClassW(&unicode);
  RegisterClassA(&ansi);

  std::vector<HWND> handles;
  for (Window& w : windows_) {
    HWND hwnd = CreateWindowExA(0, charset_ == Charset::kUnicode ? "ListenerW" : "ListenerA",
                                "listener", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, instance, nullptr);
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

void expect_environment_changes(const std::vector<Window>& windows, size_t count) {
  for (size_t i = 0; i < windows.size(); ++i) {
    const Window& w = windows[i];
    SCOPED_TRACE((w.charset == Charset::kUnicode ? "Unicode window " : "ANSI window ") +
                 std::to_string(i));
    ASSERT_EQ(w.received.size(), count);
    for (WPARAM wparam : w.received)
      EXPECT_EQ(wparam, 0u);
  }
}

void PrintTo(const RegValue& value, std::ostream* out) {
  *out << "type " << value.type << ": " << testing::PrintToString(value.data);
}

std::optional<RegValue> reg_value(const RegKey& at, const std::wstring& name) {
  HKEY key;
  if (RegOpenKeyExW(at.root, at.path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return std::nullopt;
  RegValue value{};
  DWORD size = 0;  // asked first: a PATH may be longer than any fixed buffer
  auto query = [&](void* data) {
    return RegQueryValueExW(key, name.c_str(), nullptr, &value.type, static_cast<BYTE*>(data), &size);
  };
  LSTATUS status = query(nullptr);
  value.data.resize(size / 2);
  status = status ? status : query(value.data.data());
  RegCloseKey(key);
  value.data.resize(size / 2);
  return status ? std::nullopt : std::optional(value);
}

void set_reg_value(const RegKey& key, const std::wstring& name, const std::optional<RegValue>& value) {
  LSTATUS status = value ? RegSetKeyValueW(key.root, key.path, name.c_str(), value->type,
                                           value->data.data(), DWORD(value->data.size() * 2))
                         : RegDeleteKeyValueW(key.root, key.path, name.c_str());
  EXPECT_TRUE(status == ERROR_SUCCESS || (!value && status == ERROR_FILE_NOT_FOUND)) << status;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

DWORD windows_build() {
  RTL_OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  auto get_version = reinterpret_cast<LONG(WINAPI*)(RTL_OSVERSIONINFOW*)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
  return get_version && get_version(&version) == 0 ? version.dwBuildNumber : 0;
}

namespace {

std::map<std::string, int>& bounds() {
  static std::map<std::string, int> bounds;
  return bounds;
}

// For the suite runner: a line for each suite, its name and bound in seconds, then one for the
// suites this build left out, and why. A suite without a bound fails.
int list_suites() {
  const testing::UnitTest& run = *testing::UnitTest::GetInstance();
  int status = 0;
  for (int i = 0; i < run.total_test_suite_count(); ++i) {
    std::string suite = run.GetTestSuite(i)->name();
    if (!bounds().count(suite)) {
      fprintf(stderr, "FAIL: the suite %s has no SuiteBound\n", suite.c_str());
      status = 1;
    }
    printf("%s %d\n", suite.c_str(), bounds()[suite]);
  }
#ifdef QUORVANE_LEFT_OUT
  printf("left out: %s\n", QUORVANE_LEFT_OUT);
#endif
  return status;
}

}  // namespace

SuiteBound::SuiteBound(const char* suite, int seconds) { bounds()[suite] = seconds; }

// GoogleTest passes a run whose filter selects no test, and one whose tests skipped; this one
// fails both, so that a suite renamed away from its filter, or a case that could not run
// where it ran, is never reported as passed.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc == 2 && strcmp(argv[1], "--suites") == 0)
    return list_suites();
  for (const Program& p : kPrograms)
    if (!GTEST_FLAG_GET(list_tests))
      printf("under test: %s (%s)\n", program(p.name).c_str(), p.gui ? "GUI" : "console");
  int status = RUN_ALL_TESTS();
  const testing::UnitTest& run = *testing::UnitTest::GetInstance();
  if (run.test_to_run_count() == 0) {
    fprintf(stderr, "FAIL: no test matches the filter '%s'\n", GTEST_FLAG_GET(filter).c_str());
    return 1;
  }
  if (run.skipped_test_count() > 0) {  // GoogleTest's summary above names each, and why
    fprintf(stderr, "FAIL: %d tests skipped, where every test must run\n", run.skipped_test_count());
    status = 1;
  }
  return status;
}
