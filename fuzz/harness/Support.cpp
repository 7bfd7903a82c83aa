#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/harness/Harness.h"

namespace tarvo::fuzz {

namespace {

std::string makeScratch() {
  std::vector<std::string> bases;
  if (::access("/dev/shm", W_OK) == 0) bases.emplace_back("/dev/shm");  // no disk traffic per run
  if (const char* t = std::getenv("TMPDIR"); t && *t) bases.emplace_back(t);
  bases.emplace_back("/tmp");
  for (const std::string& base : bases) {
    std::string pattern = base + "/tarvo-fuzz-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (::mkdtemp(buf.data())) return buf.data();
  }
  std::fprintf(stderr, "fuzz: cannot create a scratch directory\n");
  std::abort();
}

pid_t scratchOwner = 0;

void removeScratch() {
  // A forked child (libFuzzer -fork) leaves the directory to the process that made it.
  if (::getpid() != scratchOwner) return;
  ::nftw(scratchDirectory().c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return std::remove(p); },
         16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

const std::string& scratchDirectory() {
  static const std::string dir = [] {
    std::string d = makeScratch();
    scratchOwner = ::getpid();
    std::atexit(removeScratch);
    return d;
  }();
  return dir;
}

void clearScratchDirectory() {
  const std::string& dir = scratchDirectory();
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(d);
  for (const std::string& name : names) std::remove((dir + "/" + name).c_str());
}

}  // namespace tarvo::fuzz
