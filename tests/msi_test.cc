// The WiX example, built with wixl, installed and uninstalled silently with msiexec while
// windows listen. Built only where wixl is.

#include <string>

#include <gtest/gtest.h>

#include "windows_harness.h"

namespace {
const SuiteBound msi{"MSI", 180};
}  // namespace

TEST(MSI, InstallsAndUninstallsSilently) {
  std::string folder = expand("%LOCALAPPDATA%\\MyTool");
  expect_steps({
      {"install", "msiexec /i mytool.msi /qn", 0, true, folder + "\\", ""},
      {"uninstall", "msiexec /x mytool.msi /qn", 0, true, "(missing)", ""},
  });
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}
