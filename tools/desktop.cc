// Says where the Windows tests are about to run, for a first look at a machine: the hosted
// runner's image (from ImageOS and ImageVersion), the Windows build, the session, the window
// station and desktop, and the top-level windows a broadcast will reach there.

#include <windows.h>

#include <stdio.h>

#include <string>

namespace {

BOOL CALLBACK count(HWND hwnd, LPARAM counts) {
  auto* n = reinterpret_cast<int*>(counts);
  ++n[0];
  n[1] += IsWindowVisible(hwnd) ? 1 : 0;
  return TRUE;
}

// The C runtime's getenv is deprecated under MSVC's /W4 /WX; the system's own call is not.
std::string variable(const char* name, const char* missing) {
  char value[256];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n && n < sizeof value ? std::string(value, n) : missing;
}

const char* name(HANDLE object, char* buffer, DWORD size) {
  return GetUserObjectInformationA(object, UOI_NAME, buffer, size, nullptr) ? buffer : "(unknown)";
}

}  // namespace

int main() {
  printf("image:     %s %s\n", variable("ImageOS", "(not a hosted runner)").c_str(),
         variable("ImageVersion", "").c_str());

  // GetVersionEx answers what a program's manifest claims to support; ntdll tells the truth.
  RTL_OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  auto get_version = reinterpret_cast<LONG(WINAPI*)(RTL_OSVERSIONINFOW*)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
  if (get_version)
    get_version(&version);
  printf("windows:   %lu.%lu build %lu\n", version.dwMajorVersion, version.dwMinorVersion,
         version.dwBuildNumber);

  DWORD session = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &session);
  printf("session:   %lu\n", session);

  char station[256], desktop[256];
  printf("desktop:   %s\\%s\n", name(GetProcessWindowStation(), station, sizeof station),
         name(GetThreadDesktop(GetCurrentThreadId()), desktop, sizeof desktop));

  int windows[2] = {0, 0};
  EnumWindows(count, reinterpret_cast<LPARAM>(windows));
  printf("top-level: %d windows, %d of them visible\n", windows[0], windows[1]);
  return 0;
}
