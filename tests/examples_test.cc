// What users copy, run or built as its page says and used as a user would, while ANSI and
// Unicode windows listen: the cmd and PowerShell examples, and the NSIS and MSI installers,
// whose suites are compiled only where the build makes their installers.

#include <stdio.h>

#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "answers.h"
#include "windows_harness.h"

namespace {

const SuiteBound examples{"Examples", 180}, nsis{"NSIS", 180}, msi{"MSI", 180};

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

const wchar_t kVariable[] = L"MYTOOL_HOME";  // which the cmd, NSIS and MSI examples set

struct Step {
  std::string what;
  std::string command;  // run in the folder expect_steps is given
  DWORD status;
  bool broadcast;      // whether the windows hear of it
  std::string value;   // of MYTOOL_HOME afterwards (REG_SZ), or "(missing)"
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
    EXPECT_EQ(reg_value(key, kVariable), s.value == "(missing)" ? std::nullopt
                                          : std::optional(value(wide(s.value), REG_SZ)));
    expect_environment_changes(ansi.stop(), s.broadcast ? 1 : 0);
    expect_environment_changes(unicode.stop(), s.broadcast ? 1 : 0);
  }
  set_reg_value(key, kVariable, std::nullopt);
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

}  // namespace

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
  for (auto [from, copy] : {std::pair{"stand_in.exe", failing.path() + "\\Quorvane.exe"},
                            {"mytool-home.cmd", failing.path() + "\\mytool-home.cmd"},
                            {"stand_in.exe", failing_reg.path() + "\\reg.exe"}}) {
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

#ifdef QUORVANE_NSIS
namespace {

// Whether this run may write the machine's variables, which is what the all-users cases need.
// On Windows only an elevated run may; Wine 10 lets a limited token write them too.
bool may_write_machine() {
  HKEY key;
  if (RegOpenKeyExW(kMachineEnvironment.root, kMachineEnvironment.path, 0, KEY_SET_VALUE, &key))
    return false;
  RegCloseKey(key);
  return true;
}

}  // namespace

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
#endif  // QUORVANE_NSIS

#ifdef QUORVANE_MSI
TEST(MSI, InstallsAndUninstallsSilently) {
  std::string folder = expand("%LOCALAPPDATA%\\MyTool");
  expect_steps({
      {"install", "msiexec /i mytool.msi /qn", 0, true, folder + "\\", ""},
      {"uninstall", "msiexec /x mytool.msi /qn", 0, true, "(missing)", ""},
  });
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}
#endif  // QUORVANE_MSI
