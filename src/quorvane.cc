// Quorvane tells every running top-level window that the environment settings
// have changed, so that programs such as the shell pick up new variables.

#include <stdio.h>
#include <string.h>  // _stricmp
#include <windows.h>

namespace {

// Exit statuses. Installers test them, so they never change.
const int kDone = 0;
const int kBroadcastFailed = 1;
const int kMisuse = 2;

// No text is ever a format string: each is written with fputs, and the failure line through
// a fixed format.
void help() {
  fputs("\nQuorvane makes a WM_SETTINGCHANGE message for Environment broadcast so that "
        "running applications update environment settings\n", stdout);
  fputs("\nQuorvane.exe /broadcast\n", stdout);
  fputs("/broadcast  : initiates the broadcast\n", stdout);
}

int envupdate() {
  fputs("\nMaking WM_SETTINGCHANGE message for Environment broadcast...\n", stdout);
  // Out before the wait, even into an installer's pipe or log, where the runtime would hold
  // it until the end; and so before the failure line where both streams share one log.
  fflush(stdout);

  static const char section[] = "Environment";
  // Cleared last, so that a failure that sets no error is reported as 0, not as an error
  // left over from start-up or the flush.
  SetLastError(0);
  LRESULT sent = SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                                     reinterpret_cast<LPARAM>(section), SMTO_ABORTIFHUNG,
                                     5000, nullptr);
  if (!sent) {
    // Taken first: writing output may itself change the last error.
    unsigned long error = GetLastError();
    fprintf(stderr,
            "WM_SETTINGCHANGE message for Environment could not be broadcast (error %lu)\n",
            error);
    return kBroadcastFailed;
  }
  fputs("WM_SETTINGCHANGE message for Environment was broadcast\n", stdout);
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    help();
    return kDone;
  }
  if (argc > 2) {
    fputs("\nToo many parameters were passed\n\n\n", stdout);
    help();
    return kMisuse;
  }

  const char* arg = argv[1];
  if (_stricmp(arg, "/broadcast") == 0)
    return envupdate();

  static const char* const help_options[] = {"/help", "help", "-help", "/?", "-?"};
  for (const char* option : help_options) {
    if (_stricmp(arg, option) == 0) {
      help();
      return kDone;
    }
  }

  fputs("\nIncorrect parameter was passed\n\n\n", stdout);
  help();
  return kMisuse;
}
