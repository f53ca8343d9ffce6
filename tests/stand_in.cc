// Stands in where a test needs a program that fails as it is told to. With --suites, it is
// the test program for the suite runner: four suites, each bound to 2 s, and one its build
// left out; with --gtest_filter=FILTER it says so, then passes, fails or never ends as the
// suite's name says. Given anything else, it is a Quorvane.exe whose broadcast fails (or a
// reg.exe that fails): the progress line, the failure line, and status 1.

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <initializer_list>

#include "answers.h"

int main(int argc, char** argv) {
  const char* arg = argc > 1 ? argv[1] : "";
  if (strcmp(arg, "--suites") == 0) {
    for (const char* suite : {"Passes", "Fails", "Hangs", "LastPasses"})
      printf("%s 2\n", suite);
    printf("left out: Absent: the stand-in has none\n");
    return 0;
  }
  if (strncmp(arg, "--gtest_filter=", 15) != 0) {
    fputs(kProgressLine, stdout);
    fputs(failure_text("1460").c_str(), stderr);
    return 1;
  }
  printf("ran %s\n", arg + 15);
  fflush(stdout);
  if (strncmp(arg + 15, "Hangs.", 6) == 0)
    Sleep(INFINITE);
  return strncmp(arg + 15, "Fails.", 6) == 0 ? 1 : 0;
}
