#include "platform.h"

LRESULT SendMessageTimeoutA(HWND, UINT, WPARAM, LPARAM, UINT, UINT, PDWORD_PTR result) {
  if (result)
    *result = 0;
  return 1;
}

DWORD GetLastError() { return 0; }
