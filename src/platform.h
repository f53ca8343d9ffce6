// What the program takes from Windows: user32's window messaging and the C runtime's
// case-folding comparison. Where there is no window-messaging service, platform-posix.cc
// stands in with the same names and values, so quorvane.cc is one copy for every platform.
#ifndef QUORVANE_PLATFORM_H_
#define QUORVANE_PLATFORM_H_

#ifdef _WIN32

#include <string.h>  // _stricmp
#include <windows.h>

#else

#include <stdint.h>
#include <strings.h>

typedef struct HWND__* HWND;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uintptr_t DWORD_PTR;
typedef DWORD_PTR* PDWORD_PTR;

#define HWND_BROADCAST (reinterpret_cast<HWND>(0xffff))
constexpr UINT WM_SETTINGCHANGE = 0x001A;
constexpr UINT SMTO_ABORTIFHUNG = 0x0002;

// No top-level windows exist here, so this notifies nobody and succeeds.
LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                            UINT flags, UINT timeout, PDWORD_PTR result);
DWORD GetLastError();
void SetLastError(DWORD error);

// The program never sets a locale, so strcasecmp folds A to Z and nothing else,
// as the Windows runtime's _stricmp does.
inline int _stricmp(const char* a, const char* b) { return strcasecmp(a, b); }

#endif  // _WIN32

#endif  // QUORVANE_PLATFORM_H_
