// Stands in for a Quorvane.exe whose broadcast fails, so that what a caller does with
// status 1 can be run end to end: the progress line, the failure line, and status 1.

#include <stdio.h>

#include "answers.h"

int main() {
  fputs(kProgressLine, stdout);
  fputs(failure_text("1460").c_str(), stderr);
  return 1;
}
