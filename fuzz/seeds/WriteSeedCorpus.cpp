// fuzz_seed_corpus <directory>: writes the seed inputs of every harness of this build into
// <directory>/<harness>/<seed name>. The seeds are built in code (fuzz/harness/*Harness.cpp),
// from hand-assembled frames and from configurations saved by the real persistence code, so
// the corpus always matches the current input formats.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/harness/Harness.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  ::mkdir(root.c_str(), 0755);
  int written = 0;
  for (const auto& h : tarvo::fuzz::allHarnesses()) {
    const std::string dir = root + "/" + h.name;
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
      std::fprintf(stderr, "fuzz_seed_corpus: cannot create %s: %s\n", dir.c_str(), std::strerror(errno));
      return 1;
    }
    for (const auto& seed : h.seeds()) {
      const std::string path = dir + "/seed-" + seed.name;
      std::FILE* f = std::fopen(path.c_str(), "wb");
      if (!f || std::fwrite(seed.bytes.data(), 1, seed.bytes.size(), f) != seed.bytes.size()) {
        std::fprintf(stderr, "fuzz_seed_corpus: cannot write %s\n", path.c_str());
        if (f) std::fclose(f);
        return 1;
      }
      std::fclose(f);
      ++written;
    }
  }
  std::printf("fuzz_seed_corpus: %d seeds in %s\n", written, root.c_str());
  return 0;
}
