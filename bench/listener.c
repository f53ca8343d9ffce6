/* Owns N top-level windows that answer at once, so a broadcast has N more windows to
   reach. Prints "ready" once they exist, then pumps messages until it is killed. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
  int count = argc > 1 ? atoi(argv[1]) : 1;
  WNDCLASSA window_class = {0};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.hInstance = GetModuleHandleA(NULL);
  window_class.lpszClassName = "QuorvaneBenchListener";
  RegisterClassA(&window_class);
  for (int i = 0; i < count; ++i) {
    if (!CreateWindowExA(0, window_class.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                         100, NULL, NULL, window_class.hInstance, NULL))
      return 1;
  }
  puts("ready");
  fflush(stdout);
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0)
    DispatchMessageA(&msg);
  return 0;
}
