// Writes the fuzzer's seed corpus: every argument vector the tests know, in the
// fuzzer's input encoding, plus the failing-broadcast and empty-vector shapes. Also
// makes the folder the fuzzer keeps its own finds in.

#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>

#include "answers.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: fuzz_seeds SEEDS CORPUS\n");
    return 2;
  }
  for (const char* dir : {argv[1], argv[2]}) {
    if (mkdir(dir, 0777) != 0 && errno != EEXIST) {
      perror(dir);
      return 1;
    }
  }
  std::vector<std::string> seeds{std::string(1, '\x85'), std::string("\x81/broadcast", 11)};
  for (const Case& c : cases()) {
    std::string seed(1, static_cast<char>(c.args.size()));
    for (size_t i = 0; i < c.args.size(); ++i)
      seed += (i ? std::string(1, '\0') : std::string()) + c.args[i];
    seeds.push_back(seed);
  }
  for (size_t i = 0; i < seeds.size(); ++i) {
    std::string path = std::string(argv[1]) + "/seed-" + std::to_string(i);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f || fwrite(seeds[i].data(), 1, seeds[i].size(), f) != seeds[i].size() || fclose(f)) {
      perror(path.c_str());
      return 1;
    }
  }
  return 0;
}
