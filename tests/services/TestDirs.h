// Temporary directories for tests, and a guard that keeps every test binary that includes this
// header away from the user's real ~/.config and ~/.local: before main() runs, HOME,
// XDG_CONFIG_HOME and XDG_DATA_HOME point into a fresh temporary directory that is removed
// when the program ends.
#pragma once

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tarvo::testing {

// A directory under $TMPDIR (or /tmp), removed with its contents on destruction.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tarvo-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (::mkdtemp(buf.data())) path_ = buf.data();
    owner_ = ::getpid();
  }
  ~TempDir() {
    // A forked child leaves the directory to its parent.
    if (!path_.empty() && ::getpid() == owner_)
      ::nftw(path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return std::remove(p); }, 16,
             FTW_DEPTH | FTW_PHYS);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  pid_t owner_;
};

inline std::string readFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline const TempDir& isolatedHome() {
  static TempDir home;
  return home;
}

inline bool isolateHomeDirectories() {
  const std::string& h = isolatedHome().path();
  if (h.empty()) std::abort();  // never run against the real home directory
  ::setenv("HOME", h.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (h + "/config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (h + "/data").c_str(), 1);
  return true;
}

[[maybe_unused]] inline const bool HOME_ISOLATED = isolateHomeDirectories();

}  // namespace tarvo::testing
