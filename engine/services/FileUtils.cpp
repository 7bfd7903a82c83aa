#include "engine/services/FileUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace eng {

namespace {
bool isDirectory(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool isRegularFile(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
std::string joinPath(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  if (a.back() == '/') return a + b;
  return a + "/" + b;
}
std::string parentOf(const std::string& p) {
  const auto slash = p.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

std::string defaultResourceRoot() {
  const std::string exe = executableDirectory();
  // Build tree: build/app/tarvo with build/res; tests in build/tests/<x>/ with build/res.
  for (std::string dir = exe; !dir.empty() && dir != "/"; dir = parentOf(dir)) {
    if (isDirectory(joinPath(dir, "res"))) return dir;
    if (isDirectory(joinPath(dir, "share/tarvo/res"))) return joinPath(dir, "share/tarvo");
    if (dir == parentOf(dir)) break;
  }
  return exe;
}
}  // namespace

std::string executableDirectory() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = 0;
  return parentOf(buf);
}

bool makeDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (isDirectory(path)) return true;
  const std::string parent = parentOf(path);
  if (parent != path && !isDirectory(parent)) makeDirectories(parent);
  return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST ? isDirectory(path) : false;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  out.clear();
  if (!isRegularFile(path)) return false;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  if (!ok) out.clear();
  return ok;
}

FileUtils& FileUtils::getInstance() {
  static FileUtils* instance = new FileUtils();
  return *instance;
}

FileUtils::FileUtils() : root_(defaultResourceRoot()), searchPaths_{"res/desktop/sd", "res", ""} {}

void FileUtils::setResourceRoot(const std::string& root) {
  std::lock_guard<std::mutex> lock(mutex_);
  root_ = root;
}

std::string FileUtils::resourceRoot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return root_;
}

void FileUtils::setSearchPaths(const std::vector<std::string>& paths) {
  std::lock_guard<std::mutex> lock(mutex_);
  searchPaths_ = paths;
}

std::vector<std::string> FileUtils::searchPaths() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return searchPaths_;
}

std::string FileUtils::fullPathForFilename(const std::string& name) const {
  if (name.empty()) return {};
  if (name[0] == '/') return isRegularFile(name) ? name : std::string();
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& sp : searchPaths_) {
    const std::string candidate = joinPath(joinPath(root_, sp), name);
    if (isRegularFile(candidate)) return candidate;
  }
  return {};
}

bool FileUtils::isFileExist(const std::string& name) const { return !fullPathForFilename(name).empty(); }

std::vector<uint8_t> FileUtils::getDataFromFile(const std::string& name) const {
  std::vector<uint8_t> out;
  const std::string path = fullPathForFilename(name);
  if (!path.empty()) readWholeFile(path, out);
  return out;
}

std::string FileUtils::getStringFromFile(const std::string& name) const {
  const auto data = getDataFromFile(name);
  return std::string(data.begin(), data.end());
}

std::string FileUtils::getWritablePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (writable_.empty()) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
      base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
      base = joinPath(home, ".local/share");
    } else {
      base = "/tmp";
    }
    writable_ = joinPath(base, "tarvo") + "/";
  }
  makeDirectories(writable_.substr(0, writable_.size() - 1));
  return writable_;
}

void FileUtils::setWritablePath(const std::string& dir) {
  std::lock_guard<std::mutex> lock(mutex_);
  writable_ = dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

}  // namespace eng
