// Stands in for the Windows test program, so that the suite runner itself is tested: it
// lists four suites, and run with --gtest_filter=SUITE.* it says so, then passes, fails or
// never ends as that suite's name says.

#include <windows.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  const char* const suites[] = {"Passes", "Fails", "Hangs", "LastPasses"};
  const char* arg = argc > 1 ? argv[1] : "";
  if (strcmp(arg, "--gtest_list_tests") == 0) {
    for (const char* suite : suites)
      printf("%s.\n  Case\n", suite);
    return 0;
  }
  const char* suite = strncmp(arg, "--gtest_filter=", 15) == 0 ? arg + 15 : "";
  printf("ran %s\n", suite);
  fflush(stdout);
  if (strcmp(suite, "Hangs.*") == 0)
    Sleep(INFINITE);
  return strcmp(suite, "Fails.*") == 0 ? 1 : 0;
}
