// The NSIS example, built per user and for all users, installed and uninstalled silently as
// an installer's user would, while windows listen. Built only where makensis is.

#include <stdio.h>

#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "windows_harness.h"

namespace {

const SuiteBound nsis{"NSIS", 180};

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
