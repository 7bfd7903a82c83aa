// UserDefault: the persistent key-value store that holds the user's settings.
//
// Values are integers, booleans and byte blobs ("Data") by key; a missing key, or a key that
// holds a value of another kind, yields the caller's default. Changes are kept in memory and
// written by flush() in one SQLite transaction, so a process that dies half-way through a
// flush leaves the previous state on disk, never a mixture.
//
// On disk: one SQLite database, $XDG_CONFIG_HOME/tarvo/settings.sqlite3 (default
// ~/.config/tarvo/settings.sqlite3), with one table
//   kv(key TEXT PRIMARY KEY, type TEXT, value)   type "i" integer, "b" boolean, "d" blob.
// Rows of an unknown type are left alone. A file that is not a database, is damaged, or has a
// table of another shape is moved aside (renamed to "<file>.corrupt-<date>-<time>", together
// with its journal) — never deleted — with one line on stderr, and the store starts empty.
//
// The store is opened on first use. All operations are thread-safe; the application uses it
// from the main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct sqlite3;

namespace eng {

using Data = std::vector<uint8_t>;

class UserDefault {
 public:
  // The process-wide store, at filePath() (see setFilePath).
  static UserDefault& getInstance();
  // $XDG_CONFIG_HOME/tarvo/settings.sqlite3, or ~/.config/tarvo/settings.sqlite3 when the
  // variable is unset or not an absolute path.
  static std::string defaultFilePath();
  // Points the process-wide store at another file (tests, tools). Changes not yet flushed to
  // the previous file are dropped; the new file is opened on next use.
  static void setFilePath(const std::string& path);

  // A store of its own at `path` (tests); opened on first use.
  explicit UserDefault(std::string path);
  ~UserDefault();
  UserDefault(const UserDefault&) = delete;
  UserDefault& operator=(const UserDefault&) = delete;

  int getIntegerForKey(const char* key, int defaultValue);
  void setIntegerForKey(const char* key, int value);
  bool getBoolForKey(const char* key, bool defaultValue);
  void setBoolForKey(const char* key, bool value);
  Data getDataForKey(const char* key, const Data& defaultValue = {});
  void setDataForKey(const char* key, const Data& value);
  bool hasKey(const char* key);

  // Writes every change since the last successful flush in one transaction. False (with one
  // line on stderr) when the file could not be written; the changes stay pending then.
  bool flush();

  std::string filePath() const;
  // Where a damaged or unreadable file was moved when the store was opened; empty otherwise.
  std::string movedAsidePath();

 private:
  struct Entry {
    char type = 0;  // 'i', 'b' or 'd'
    int64_t integer = 0;
    Data blob;
  };

  void reopenLocked(const std::string& path);
  void ensureOpenLocked();
  void closeLocked();
  const Entry* findLocked(const char* key, char type);
  void setLocked(const char* key, Entry entry);

  mutable std::mutex mutex_;
  std::string path_;
  bool opened_ = false;
  sqlite3* db_ = nullptr;
  std::string movedAside_;
  std::map<std::string, Entry, std::less<>> values_;
  std::set<std::string, std::less<>> dirty_;
};

}  // namespace eng
