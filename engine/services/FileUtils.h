// Resource lookup and the writable directory (GL-free).
//
// Resources are found through search paths relative to the resource root: the folder that
// holds res/ beside the executable (build tree), or the installed share/tarvo/. The default
// search paths are "res/desktop/sd", "res" and "" (the root itself).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace eng {

class FileUtils {
 public:
  static FileUtils& getInstance();

  void setResourceRoot(const std::string& root);
  std::string resourceRoot() const;
  void setSearchPaths(const std::vector<std::string>& paths);
  std::vector<std::string> searchPaths() const;

  // Full path of the first search-path match of a resource name, or empty when none exists.
  // Absolute names are returned as they are when they exist.
  std::string fullPathForFilename(const std::string& name) const;
  bool isFileExist(const std::string& name) const;
  // The whole file; empty when missing or unreadable.
  std::vector<uint8_t> getDataFromFile(const std::string& name) const;
  std::string getStringFromFile(const std::string& name) const;

  // $XDG_DATA_HOME/tarvo/ (default ~/.local/share/tarvo/), created on first use; ends in "/".
  std::string getWritablePath() const;
  // Overrides the writable directory (tests).
  void setWritablePath(const std::string& dir);

 private:
  FileUtils();
  mutable std::mutex mutex_;
  std::string root_;
  std::vector<std::string> searchPaths_;
  mutable std::string writable_;
};

// Reads a whole file by path; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& out);
// Creates a directory and its parents; true when it exists afterwards.
bool makeDirectories(const std::string& path);
// The directory of the running executable.
std::string executableDirectory();

}  // namespace eng
