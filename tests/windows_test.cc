// End-to-end tests of Quorvane.exe under a real Win32 implementation. The program runs
// as a process of its own while real top-level windows, owned by this test, record the
// environment's WM_SETTINGCHANGE when it reaches them.

#include <stdio.h>

#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "answers.h"
#include "windows_harness.h"

namespace {

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

// How many names an argument holding * or ? matches where a child runs in dir, which is
// what the runtime's expansion turns it into: a rooted pattern ("/?") is looked up at the
// root of dir's drive, any other in dir.
size_t matches(const std::string& arg, const std::string& dir) {
  if (arg.find_first_of("*?") == std::string::npos)
    return 0;
  bool rooted = arg[0] == '/' || arg[0] == '\\';
  std::string pattern = rooted ? dir.substr(0, 2) + arg : dir + "\\" + arg;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return 0;
  size_t count = 0;
  do {
    std::string name = found.cFileName;
    count += name != "." && name != "..";
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return count;
}

// The answer to c from a child run in dir. A pattern that matches nothing arrives as typed;
// one that matches arrives as the names, and no file name is an option.
Answer answer_in(const Case& c, const std::string& dir) {
  size_t args = 0, names = 0;
  for (const std::string& arg : c.args) {
    size_t n = matches(arg, dir);
    names += n;
    args += n ? n : 1;
  }
  if (!names)
    return c.answer;
  return args > 1 ? Answer::kTooMany : Answer::kIncorrect;
}

void expect_answer(const std::string& exe, const Case& c, const std::string& dir) {
  SCOPED_TRACE(label(c));
  Answer answer = answer_in(c, dir);
  Outcome o = run(exe, c.args, dir);
  EXPECT_EQ(o.out, crlf(text(answer)));
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.status, static_cast<DWORD>(exit_status(answer)));
}

// What the examples in examples/README.md do, run as a user would, each step while ANSI and
// Unicode windows listen.
const wchar_t kVariable[] = L"MYTOOL_HOME";

struct Step {
  std::string what;
  std::string command;  // run in the folder expect_steps is given
  DWORD status;
  bool broadcast;      // whether the windows hear of it
  std::string value;   // of MYTOOL_HOME afterwards
  std::string shows;   // a piece of the standard output
  std::string in;      // the folder it runs in, if not expect_steps's
};

void expect_steps(const std::vector<Step>& steps, const std::string& dir = beside_test("."),
                  const RegKey& key = kUserEnvironment) {
  set_reg_value(key, kVariable, std::nullopt);
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    Listeners ansi(2, Behaviour::kHealthy), unicode(2, Behaviour::kHealthy, Charset::kUnicode);
    Outcome o = run_command(s.command, s.in.empty() ? dir : s.in, Stdout::kPipe, 120);
    EXPECT_EQ(o.status, s.status) << o.out << o.err;
    EXPECT_NE(o.out.find(s.shows), std::string::npos) << o.out;
    EXPECT_EQ(reg_string(key, kVariable), s.value);
    expect_environment_changes(ansi.stop(), s.broadcast ? 1 : 0);
    expect_environment_changes(unicode.stop(), s.broadcast ? 1 : 0);
  }
  set_reg_value(key, kVariable, std::nullopt);
}

}  // namespace

// Each test below but Faults, whose bounds are the platform's, runs every program: the
// GUI-subsystem twin must answer as the console one.
TEST(Output, AnswersEveryArgumentVector) {
  Folder empty;
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    for (const Case& c : cases())
      expect_answer(program(p.name), c, empty.path());
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
  ForeignBroadcasts others;
  for (const Program& p : kPrograms) {
    for (const Case& c : runs) {
      SCOPED_TRACE(p.name + (" " + label(c)));
      // Shells, terminals and editors register Unicode classes: the system converts for them.
      Listeners ansi(3, Behaviour::kHealthy), unicode(3, Behaviour::kHealthy, Charset::kUnicode);
      Outcome o = run(program(p.name), c.args, empty.path());
      EXPECT_EQ(o.out, crlf(text(c.answer)));
      EXPECT_EQ(o.status, static_cast<DWORD>(exit_status(c.answer)));
      size_t expected = c.answer == Answer::kBroadcast ? 1 : 0;
      expect_environment_changes(ansi.stop(), expected);
      expect_environment_changes(unicode.stop(), expected);
    }
  }
}

TEST(Wildcards, PatternsAreExpandedWhereTheProgramRuns) {
  Folder folder({"w1.txt", "w2.txt"});
  const Case runs[] = {
      {{"w?.txt"}, Answer::kTooMany},   // becomes w1.txt w2.txt
      {{"w*.txt"}, Answer::kTooMany},
      {{"w1.txt"}, Answer::kIncorrect},
      {{"w1.t?t"}, Answer::kIncorrect},  // one match is one argument
      {{"q?.txt"}, Answer::kIncorrect},  // no match: arrives as typed
      {{"/?"}, Answer::kUsage},          // unless the drive's root has one-letter names
      {{"-?"}, Answer::kUsage},
  };
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    for (const Case& c : runs)
      expect_answer(program(p.name), c, folder.path());
  }

  // "/?" is rooted: a one-character name at the root of the drive turns it into that name.
  // A folder, which users who are not administrators may make there, and which matches too.
  std::string name = folder.path().substr(0, 3) + "~";
  ASSERT_TRUE(CreateDirectoryA(name.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
      << "cannot make " << name << ": error " << GetLastError();
  EXPECT_NE(answer_in(runs[5], folder.path()), Answer::kUsage);
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    expect_answer(program(p.name), runs[5], folder.path());
  }
  RemoveDirectoryA(name.c_str());
}

// Output that cannot be written is lost quietly; the broadcast still happens.
TEST(Delivery, UnwritableStandardOutputStillBroadcasts) {
  Folder empty;
  for (const Program& p : kPrograms) {
    for (Stdout mode : {Stdout::kClosed, Stdout::kBrokenPipe}) {
      SCOPED_TRACE(p.name + std::string(mode == Stdout::kClosed ? ": no standard output"
                                                              : ": pipe with no reader"));
      Listeners listeners(2, Behaviour::kHealthy);
      Outcome o = run(program(p.name), {"/broadcast"}, empty.path(), mode);
      EXPECT_EQ(o.err, "");
      EXPECT_EQ(o.status, 0u);
      expect_environment_changes(listeners.stop());
    }
  }
}

// What Windows reads from the file before the program runs: the manifest, where Windows
// looks for it, and the version, under each program's own name.
TEST(Resources, ManifestAndVersionAreEmbedded) {
  // The licence's own line, from the copy beside the test.
  std::istringstream licence(read_file(beside_test("LICENSE")));
  std::string copyright;
  while (std::getline(licence, copyright) && copyright.rfind("Copyright ", 0) != 0) {
  }
  copyright.erase(copyright.find_last_not_of('\r') + 1);
  ASSERT_FALSE(copyright.empty()) << "no Copyright line in LICENSE";
  for (const Program& p : kPrograms) {
    std::string name = p.name;
    SCOPED_TRACE(name);
    std::string exe_path = program(name);
    HMODULE exe = LoadLibraryExA(exe_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(exe, found))),
                         SizeofResource(exe, found));
    FreeLibrary(exe);
    // What it says is checked where the exe is built (release/check-exe.sh).
    EXPECT_NE(manifest.find("<assembly "), std::string::npos) << manifest;

    DWORD size = GetFileVersionInfoSizeA(exe_path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe_path.c_str(), 0, size, info.data()));
    auto value = [&](const char* key) {
      char* text = nullptr;
      UINT length = 0;
      std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
      return VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length)
                 ? std::string(text)
                 : std::string("(missing)");
    };
    EXPECT_EQ(value("ProductName"), "Quorvane");
    EXPECT_EQ(value("LegalCopyright"), copyright);
    EXPECT_EQ(value("OriginalFilename"), name);
    EXPECT_EQ(value("InternalName"), name.substr(0, name.size() - 4));
    EXPECT_EQ(value("FileVersion"), QUORVANE_VERSION);
    EXPECT_EQ(value("ProductVersion"), QUORVANE_VERSION);
    EXPECT_NE(value("FileDescription"), "(missing)");
  }
}

// Started by a program with no console (msiexec, a GUI installer, Explorer), a console
// program gets one of its own, whose window flashes up, unless Windows honours the
// manifest's request for none: from build 26100 on. A GUI program, as QuorvaneW.exe, never
// gets one.
TEST(Console, OnlyOlderWindowsGiveOneWhenStartedWithoutOne) {
  FreeConsole();  // this test is now such a program
  for (const Program& p : kPrograms) {
    bool console = !p.gui && windows_build() < 26100;
    SCOPED_TRACE(p.name + std::string(console ? " gets a console" : " gets none"));
    // Holds the broadcast for its whole timeout while the console is looked for: a window that
    // pumps is never judged hung, however late the program starts.
    Listeners slow(1, Behaviour::kSlow);
    bool attached = false;
    DWORD error = 0;
    Outcome o = run_command(quote(program(p.name)) + " /broadcast", Folder().path(),
                            Stdout::kPipe, 30, 0, [&](DWORD pid) {
                              attached = AttachConsole(pid);
                              error = attached ? 0 : GetLastError();
                              if (attached)
                                FreeConsole();
                            });
    EXPECT_GE(o.first_output, 0);
    EXPECT_EQ(attached, console) << "Windows build " << windows_build();
    // Any other error (87: the process was gone) says nothing of its console.
    if (!attached)
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(o.status, 0u);
  }
}

// The platform takes a window whose thread has pumped no messages for 5 s as hung and
// skips it at once; any other window gets the broadcast's 5 s timeout to answer, no more.
TEST(Faults, UnresponsiveWindowsCostAtMostTheTimeout) {
  Folder empty;
  const struct {
    const char* name;
    Behaviour behaviour;
    DWORD idle_ms;  // how long the window has been unresponsive when the run starts
    double min, max;
  } faults[] = {
      {"hung for 6 s", Behaviour::kHung, 6000, 0, 2},
      {"hung for under 5 s", Behaviour::kHung, 0, 4.5, 7},
      {"slow to answer", Behaviour::kSlow, 0, 4.5, 7},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.name);
    // A real desktop has windows of its own, some slow at times: the bounds are counted
    // past a plain broadcast made just before.
    double plain = run(program(), {"/broadcast"}, empty.path()).seconds;
    Listeners healthy(50, Behaviour::kHealthy);
    Listeners unresponsive(1, f.behaviour);
    Sleep(f.idle_ms);
    Outcome o = run(program(), {"/broadcast"}, empty.path());
    printf("/broadcast past a window %s took %.1f s (plain: %.1f s)\n", f.name, o.seconds,
           plain);

    EXPECT_EQ(o.out, crlf(text(Answer::kBroadcast)));
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0u);
    EXPECT_GE(o.seconds, f.min);
    EXPECT_LT(o.seconds, plain + f.max);
    // The progress line is out before the wait, even into a pipe.
    EXPECT_LT(o.first_output, plain + 1);
    expect_environment_changes(healthy.stop());
  }
}

// Quorvane.exe started by cmd.exe ends with it when the run is bounded, and lets go of
// the test's pipes.
TEST(Faults, BoundedRunEndsTheWholeTree) {
  Listeners slow(1, Behaviour::kSlow);
  Outcome o = run_command("cmd.exe /c " + quote(program()) + " /broadcast", Folder().path(),
                          Stdout::kPipe, 1);
  EXPECT_TRUE(o.ended);
}

TEST(Examples, CmdScript) {
  // The same script with an argument Quorvane does not know takes its failure branch, and so
  // does the script beside a Quorvane.exe whose broadcast fails. cmd waits for each program,
  // a GUI program too, and takes its status; outside a script, start /wait does.
  const std::string script = read_file(beside_test("mytool-home.cmd"));
  std::vector<std::string> made;
  auto variant = [&](const std::string& name, std::string exe, std::string option) {
    made.push_back(name);
    const std::string call = "Quorvane.exe\" /broadcast";
    std::string text = script;
    size_t at = text.find(call);
    EXPECT_NE(at, std::string::npos);
    write_file(beside_test(name), text.replace(at, call.size(), exe + "\" " + option));
    return "cmd.exe /c " + quote(beside_test(name));
  };
  // cmd looks in the current folder before PATH: there, a reg that fails sets nothing.
  Folder failing({"Quorvane.exe", "mytool-home.cmd"}), failing_reg({"reg.exe"});
  for (auto [from, copy] : {std::pair{"failing_broadcast.exe", failing.path() + "\\Quorvane.exe"},
                            {"mytool-home.cmd", failing.path() + "\\mytool-home.cmd"},
                            {"failing_broadcast.exe", failing_reg.path() + "\\reg.exe"}}) {
    ASSERT_TRUE(CopyFileA(beside_test(from).c_str(), copy.c_str(), FALSE))
        << "copying " << beside_test(from) << ": error " << GetLastError();
  }
  const std::string fails = "Could not tell running programs about MYTOOL_HOME";
  const std::string home = "C:\\Tools\\MyTool";
  // Run from another folder: the script finds the Quorvane.exe beside itself.
  std::vector<Step> steps = {
      {"reg fails", "cmd.exe /c " + quote(beside_test("mytool-home.cmd")), 1, false, "(missing)",
       "", failing_reg.path()},
      {"as written", "cmd.exe /c " + quote(beside_test("mytool-home.cmd")), 0, true, home,
       crlf(text(Answer::kBroadcast))},
      {"cmd /c", "cmd.exe /c " + quote(program()) + " /bogus", 2, false, home,
       crlf(text(Answer::kIncorrect))},
      {"failing broadcast", "cmd.exe /c " + quote(failing.path() + "\\mytool-home.cmd"), 1,
       false, home, fails},
  };
  for (const Program& p : kPrograms) {
    std::string name = p.name;
    steps.push_back({name, variant(name + ".cmd", name, "/broadcast"), 0, true, home, ""});
    steps.push_back({name + ", wrong argument",
                     variant(name + "-wrong.cmd", name, "/broadcast:now"), 2, false, home, fails});
    if (p.gui)
      steps.push_back({name + ", start /wait", "cmd.exe /c start \"\" /wait " +
                       quote(program(name)) + " /bogus", 2, false, home, ""});
  }
  expect_steps(steps, Folder().path());
  for (const std::string& name : made)
    DeleteFileA(beside_test(name).c_str());
}

std::string expand(const char* text) {
  char path[MAX_PATH];
  ExpandEnvironmentStringsA(text, path, MAX_PATH);
  return path;
}

std::wstring wide(const std::string& text) {  // as a program gets it on its command line
  std::wstring out(text.size(), L'\0');
  return out.substr(0, MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), out.data(), int(out.size())));
}
RegValue value(std::wstring text, DWORD type = REG_EXPAND_SZ) { return RegValue{type, text + L'\0'}; }

// Whether this run may write the machine's variables, which is what the all-users cases need.
// On Windows only an elevated run may; Wine 10 lets a limited token write them too.
bool may_write_machine() {
  HKEY key;
  if (RegOpenKeyExW(kMachineEnvironment.root, kMachineEnvironment.path, 0, KEY_SET_VALUE, &key))
    return false;
  RegCloseKey(key);
  return true;
}

// A variable the cases change (PATH, or one they add), saved to a file outside every build
// folder (written whole, then renamed) and put back with a broadcast however they end: a
// machine whose PATH is broken cannot find System32. A killed run leaves the file, and the
// next run puts it back first.
struct SavedValue {
  RegKey key;
  std::wstring name;
  std::string file;
  SavedValue(const RegKey& at, const std::wstring& variable, const std::string& saved)
      : key(at), name(variable), file(expand("%ProgramData%\\Quorvane tests, ") + saved) {
    if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
      printf("%s: left by a killed run; putting that value back first\n", file.c_str());
      restore();
    }
    std::optional<RegValue> was = reg_value(key, name);
    write_file(file + ".new", was ? std::string(reinterpret_cast<char*>(&was->type), 4) +
                                       std::string(reinterpret_cast<char*>(was->data.data()),
                                                   was->data.size() * 2) : "");
    EXPECT_TRUE(MoveFileExA((file + ".new").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING));
  }
  void restore() {
    std::string bytes = read_file(file);  // empty when there was no such value
    std::optional<RegValue> was;
    if (bytes.size() >= 4)
      was = RegValue{*reinterpret_cast<DWORD*>(bytes.data()),
                      std::wstring(reinterpret_cast<wchar_t*>(bytes.data() + 4), (bytes.size() - 4) / 2)};
    set_reg_value(key, name, was);
    EXPECT_TRUE(DeleteFileA(file.c_str()));
  }
  ~SavedValue() {
    restore();
    run(program(), {"/broadcast"}, Folder().path());
  }
};

// Each case sets PATH, installs and uninstalls: other entries kept to the byte, the folder added
// once and taken away, REG_SZ written back as REG_EXPAND_SZ, too long for NSIS left alone, found
// past a variable whose name NSIS cannot hold (which the run removes, however it ends). The
// all-users build does it to the machine's PATH, which it never creates, empties or deletes,
// while the user's key, holding the folder and a MYTOOL_HOME of its own, stays as it was.
TEST(NSIS, InstallsAndUninstallsSilently) {
  const bool writable = may_write_machine();
  EXPECT_TRUE(writable) << "the all-users installer's cases need a run that may write the "
                           "machine's variables (on Windows, an elevated one): none ran";
  const std::wstring long_name(1100, L'N');  // too long for NSIS's EnumRegValue
  std::deque<SavedValue> saved;
  for (auto [key, whose] : {std::pair{kUserEnvironment, "the user's "}, {kMachineEnvironment, "the machine's "}}) {
    if (key.root == HKEY_LOCAL_MACHINE && !writable)
      break;
    saved.emplace_back(key, L"Path", whose + std::string("PATH"));
    saved.emplace_back(key, long_name, whose + std::string("long variable"));
  }
  const std::wstring mixed = L"%USERPROFILE%\\bin;C:\\Program Files (x86)\\A & B!;D:\\J\u00f6rg\\"
                             L"\u65e5\u672c;C:\\100%^";
  for (bool machine : {false, true}) {
    if (machine && !writable)
      break;
    SCOPED_TRACE(machine ? "for all users" : "per user");
    const RegKey& key = machine ? kMachineEnvironment : kUserEnvironment;
    // Per user, MyTool goes in the user's own application data; for all users, Program Files.
    const std::string plain = expand(machine ? "%ProgramFiles%\\MyTool" : "%LOCALAPPDATA%\\MyTool"),
                      odd = plain + " (&!)";
    std::wstring dir = wide(plain), upper = dir;
    CharUpperBuffW(upper.data(), DWORD(upper.size()));
    const RegValue present = value(L"C:\\A;" + upper + L"\\;C:\\B"),
                   huge = value(std::wstring(1100, L'x') + L";" + dir),
                   crowded = value(L"C:\\" + std::wstring(1000, L'y')), empty = value(L""),
                   only = value(dir);
    const std::optional<RegValue> none;
    const struct {
      const char* name; std::string folder; std::optional<RegValue> before, installed, uninstalled;
      bool after_long_name = false;  // PATH made after a variable NSIS cannot name
    } cases[] = {
        {"absent", plain, none, machine ? none : only, none},
        {"empty", plain, empty, machine ? empty : only, machine ? empty : none},
        {"only the folder", plain, only, only, machine ? only : none},
        {"REG_SZ", plain, value(L"C:\\Tools", REG_SZ), value(L"C:\\Tools;" + dir), value(L"C:\\Tools")},
        {"%VAR% and non-ASCII", plain, value(mixed), value(mixed + L";" + dir), value(mixed)},
        {"present in other letters", plain, present, present, value(L"C:\\A;C:\\B")},
        {"longer than NSIS's strings", plain, huge, huge, huge},
        {"too long with the folder", plain, crowded, crowded, crowded},
        {"after a name too long for NSIS", plain, value(L"C:\\Tools"), value(L"C:\\Tools;" + dir),
         value(L"C:\\Tools"), true},
        {"(, & and ! in the folder", odd, value(L"C:\\Tools"), value(L"C:\\Tools;" + wide(odd)),
         value(L"C:\\Tools")},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      if (c.after_long_name) {  // first in creation order too, as in Wine's name order
        set_reg_value(key, L"Path", std::nullopt);
        set_reg_value(key, long_name, value(L"x"));
      }
      set_reg_value(key, L"Path", c.before);
      // The user's key: checked after each step, before expect_steps could delete anything.
      std::vector<std::pair<std::wstring, RegValue>> mine;
      if (machine)
        mine = {{L"Path", value(L"C:\\Mine;" + wide(c.folder))}, {kVariable, value(L"C:\\Mine", REG_SZ)}};
      for (const auto& [name, v] : mine)
        set_reg_value(kUserEnvironment, name, v);
      std::string uninstaller = c.folder + "\\uninstall.exe";
      std::string to = c.folder == plain ? "" : " /D=" + c.folder;
      std::string setup = machine ? "mytool-setup-all-users.exe" : "mytool-setup.exe";
      // With "_?=" the uninstaller runs in place, so it can be waited for.
      for (const auto& [step, command, home, path] :
           {std::tuple{"install", quote(beside_test(setup)) + " /S" + to, c.folder, c.installed},
            {"uninstall", quote(uninstaller) + " /S _?=" + c.folder, "(missing)", c.uninstalled}}) {
        expect_steps({{step, command, 0, true, home, ""}}, beside_test("."), key);
        EXPECT_EQ(reg_value(key, L"Path"), path) << step;
        for (const auto& [name, v] : mine)
          EXPECT_EQ(reg_value(kUserEnvironment, name), v) << step;
      }
      set_reg_value(key, long_name, std::nullopt);
      // Running in place, it cannot remove itself; everything else must be gone.
      DeleteFileA(uninstaller.c_str());
      EXPECT_TRUE(RemoveDirectoryA(c.folder.c_str()));
    }
  }
  set_reg_value(kUserEnvironment, kVariable, std::nullopt);
}

// The PowerShell example, as a user runs it. Wine's powershell.exe is a stub that answers
// nothing: there, its rows are named as not run; anywhere else, no real PowerShell fails.
TEST(Examples, PowerShellScript) {
  Folder lonely({"mytool-path.ps1"});  // a copy with no Quorvane.exe beside it
  ASSERT_TRUE(CopyFileA(beside_test("mytool-path.ps1").c_str(), (lonely.path() + "\\mytool-path.ps1").c_str(), FALSE));
  const std::wstring dir = wide(expand("%LOCALAPPDATA%\\MyTool")), tools = L"%USERPROFILE%\\bin;C:\\Tools";
  const RegValue before = value(tools), added = value(tools + L";" + dir),
                 multi{REG_MULTI_SZ, std::wstring(L"C:\\A\0C:\\B\0", 11)};
  const std::string done = "WM_SETTINGCHANGE message for Environment was broadcast";
  const struct {
    const char* what; RegValue before; std::string args; DWORD status; RegValue after;
    std::string shows; std::string from = beside_test(".");  // the script's folder
  } rows[] = {
      {"add, %VAR% and REG_EXPAND_SZ kept", before, "", 0, added, done},
      {"add again: no change", added, "", 0, added, ""},
      {"remove", added, " -Remove", 0, before, done},
      {"a REG_MULTI_SZ PATH refused", multi, "", 1, multi, "REG_MULTI_SZ"},
      {"a relative -Folder refused", before, " -Folder MyTool", 1, before, "-Folder MyTool"},
      {"no Quorvane.exe beside it", before, "", 2, added, "not told", lonely.path()},
  };
  char found[MAX_PATH];
  if (!SearchPathA(nullptr, "powershell.exe", nullptr, MAX_PATH, found, nullptr) ||
      run_command("powershell -NoProfile -NonInteractive -Command 6*7", ".").out != "42\r\n") {
    EXPECT_TRUE(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
        << "no PowerShell answers here, outside Wine";
    for (const auto& r : rows)
      printf("Examples.PowerShellScript: not run, as Wine has no PowerShell: %s\n", r.what);
    return;
  }
  SavedValue user(kUserEnvironment, L"Path", "the user's PATH");
  for (const auto& r : rows) {
    set_reg_value(kUserEnvironment, L"Path", r.before);
    expect_steps({{r.what, "powershell -NoProfile -ExecutionPolicy Bypass -File " +
                   quote(r.from + "\\mytool-path.ps1") + r.args, r.status,
                   r.status == 0 && !(r.before == r.after), "(missing)", r.shows}});
    EXPECT_EQ(reg_value(kUserEnvironment, L"Path"), r.after) << r.what;
  }
}

TEST(MSI, InstallsAndUninstallsSilently) {
  std::string folder = expand("%LOCALAPPDATA%\\MyTool");
  expect_steps({
      {"install", "msiexec /i mytool.msi /qn", 0, true, folder + "\\", ""},
      {"uninstall", "msiexec /x mytool.msi /qn", 0, true, "(missing)", ""},
  });
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}
