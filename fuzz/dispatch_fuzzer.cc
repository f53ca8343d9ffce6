// Feeds the program's main arbitrary argument vectors and checks every answer against
// a model of the dispatcher that folds only the ASCII letters.
//
// Input: the first byte picks the vector's shape (bits 0-2: 0 to 4 arguments, 5 for an
// empty vector; bit 7: the broadcast fails); the rest, split at NUL bytes, gives the
// arguments, missing ones empty.

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "answers.h"
#include "platform.h"

int quorvane_main(int argc, char** argv);  // main, renamed for this target

namespace {

int broadcasts;
bool fail;

bool ascii_equal(const std::string& a, const char* b) {
  if (a.size() != strlen(b))
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i] >= 'A' && a[i] <= 'Z' ? a[i] - 'A' + 'a' : a[i];
    if (c != b[i])
      return false;
  }
  return true;
}

Answer expected(const std::vector<std::string>& args) {
  if (args.empty())
    return Answer::kUsage;
  if (args.size() > 1)
    return Answer::kTooMany;
  if (ascii_equal(args[0], "/broadcast"))
    return Answer::kBroadcast;
  for (const char* option : {"/help", "help", "-help", "/?", "-?"}) {
    if (ascii_equal(args[0], option))
      return Answer::kUsage;
  }
  return Answer::kIncorrect;
}

// Runs main with stdout and stderr caught in memory.
int run(std::vector<char*>& argv, std::string& out, std::string& err) {
  char *out_text = nullptr, *err_text = nullptr;
  size_t out_size = 0, err_size = 0;
  FILE* saved_out = stdout;
  FILE* saved_err = stderr;
  stdout = open_memstream(&out_text, &out_size);
  stderr = open_memstream(&err_text, &err_size);
  int status = quorvane_main(static_cast<int>(argv.size()) - 1, argv.data());
  fclose(stdout);
  fclose(stderr);
  stdout = saved_out;
  stderr = saved_err;
  out.assign(out_text, out_size);
  err.assign(err_text, err_size);
  free(out_text);
  free(err_text);
  return status;
}

void check(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "fuzz check failed: %s\n", what);
    abort();
  }
}

}  // namespace

LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                            UINT flags, UINT timeout, PDWORD_PTR result) {
  check(window == HWND_BROADCAST && message == WM_SETTINGCHANGE && wparam == 0 &&
            flags == SMTO_ABORTIFHUNG && timeout == 5000 && result == nullptr &&
            strcmp(reinterpret_cast<const char*>(lparam), "Environment") == 0,
        "broadcast values");
  ++broadcasts;
  return fail ? 0 : 1;
}

DWORD GetLastError() { return 1460; }
void SetLastError(DWORD) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0)
    return 0;
  int shape = data[0] & 7;
  if (shape > 5)
    return 0;
  fail = data[0] & 0x80;

  std::vector<std::string> args;
  if (shape != 5) {
    const char* rest = reinterpret_cast<const char*>(data + 1);
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t i = 0; i <= size - 1; ++i) {
      if (i == size - 1 || rest[i] == '\0') {
        pieces.emplace_back(rest + start, i - start);
        start = i + 1;
      }
    }
    pieces.resize(shape > static_cast<int>(pieces.size()) ? shape : pieces.size());
    args.assign(pieces.begin(), pieces.begin() + shape);
  }

  std::vector<char*> argv;
  if (shape != 5)
    argv.push_back(const_cast<char*>("Quorvane"));
  for (std::string& arg : args)
    argv.push_back(&arg[0]);
  argv.push_back(nullptr);

  broadcasts = 0;
  std::string out, err;
  int status = run(argv, out, err);

  Answer answer = expected(args);
  check(broadcasts == (answer == Answer::kBroadcast ? 1 : 0), "broadcast requested");
  if (answer == Answer::kBroadcast && fail) {
    check(out == kProgressLine, "failure output");
    check(err == failure_text("1460"), "failure error line");
    check(status == 1, "failure status");
  } else {
    check(out == text(answer), "output");
    check(err.empty(), "nothing on standard error");
    check(status == exit_status(answer), "status");
  }
  return 0;
}
