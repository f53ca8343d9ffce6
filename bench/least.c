/* The least program that makes Quorvane's one call: the baseline it is timed against. */
#include <windows.h>

int main(void) {
  SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM) "Environment",
                      SMTO_ABORTIFHUNG, 5000, NULL);
  return 0;
}
