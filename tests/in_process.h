// Forced into the in-process tests' own compilation of src/quorvane.cc, ahead of its first
// line: windows.h as the program includes it, then its three calls to Windows turned into the
// tests' doubles, for that object alone.
#ifndef QUORVANE_TESTS_IN_PROCESS_H_
#define QUORVANE_TESTS_IN_PROCESS_H_

#include <windows.h>

LRESULT test_SendMessageTimeoutA(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                 UINT flags, UINT timeout, PDWORD_PTR result);
DWORD test_GetLastError();
void test_SetLastError(DWORD error);

#define SendMessageTimeoutA test_SendMessageTimeoutA
#define GetLastError test_GetLastError
#define SetLastError test_SetLastError

#endif  // QUORVANE_TESTS_IN_PROCESS_H_
