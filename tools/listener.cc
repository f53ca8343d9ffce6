// Owns COUNT top-level windows (default 1) that answer at once, so that a broadcast has
// windows to reach. Says "ready" on standard error once they exist, then pumps messages
// until it is ended. With "report", it prints every WM_SETTINGCHANGE that arrives, with the
// number of the window it reached.
//
//   listener [COUNT [report]]

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

LRESULT CALLBACK report(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETTINGCHANGE) {
    const char* section = reinterpret_cast<const char*>(lparam);
    printf("window %lld received WM_SETTINGCHANGE: wParam %llu, ",
           static_cast<long long>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)),
           static_cast<unsigned long long>(wparam));
    if (section)
      printf("\"%s\"\n", section);
    else
      printf("no section name\n");
    fflush(stdout);
    return 0;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? atoi(argv[1]) : 1;
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = argc > 2 && strcmp(argv[2], "report") == 0 ? report : DefWindowProcA;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "QuorvaneListener";
  RegisterClassA(&window_class);
  for (int i = 1; i <= count; ++i) {
    HWND hwnd = CreateWindowExA(0, window_class.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0,
                                100, 100, nullptr, nullptr, window_class.hInstance, nullptr);
    if (!hwnd)
      return 1;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, i);
  }
  fputs("ready\n", stderr);
  fflush(stderr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0)
    DispatchMessageA(&msg);
  return 0;
}
