#include "platform.h"

LRESULT SendMessageTimeoutA(HWND, UINT, WPARAM, LPARAM, UINT, UINT, PDWORD_PTR result) {
  if (result)
    *result = 0;
  return 1;
}

// The stand-in never fails, so it has no error to keep.
DWORD GetLastError() { return 0; }
void SetLastError(DWORD) {}
