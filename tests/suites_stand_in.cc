// Stands in for the Windows test program, so that the suite runner itself is tested: with
// --suites it lists four suites, each bound to 2 s, and one its build left out; run with
// --gtest_filter=FILTER it says so, then passes, fails or never ends as the suite's name says.

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <initializer_list>

int main(int argc, char** argv) {
  const char* arg = argc > 1 ? argv[1] : "";
  if (strcmp(arg, "--suites") == 0) {
    for (const char* suite : {"Passes", "Fails", "Hangs", "LastPasses"})
      printf("%s 2\n", suite);
    printf("left out: Absent: the stand-in has none\n");
    return 0;
  }
  const char* filter = strncmp(arg, "--gtest_filter=", 15) == 0 ? arg + 15 : "";
  printf("ran %s\n", filter);
  fflush(stdout);
  if (strncmp(filter, "Hangs.", 6) == 0)
    Sleep(INFINITE);
  return strncmp(filter, "Fails.", 6) == 0 ? 1 : 0;
}
