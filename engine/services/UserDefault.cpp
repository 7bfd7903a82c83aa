#include "engine/services/UserDefault.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/services/FileUtils.h"

namespace eng {

namespace {

constexpr const char* TABLE_SQL =
    "CREATE TABLE IF NOT EXISTS kv (key TEXT PRIMARY KEY NOT NULL, type TEXT NOT NULL, value)";

bool fileExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string parentDirectory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Failures that say nothing about the file itself: another process holds it, or the machine is
// short of memory or space. Such a file is kept where it is.
bool isTransient(int rc) {
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOMEM:
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_INTERRUPT:
      return true;
    default:
      return false;
  }
}

// The outcome of reading a database file into memory.
struct LoadResult {
  int rc = SQLITE_OK;       // first failing SQLite result, SQLITE_OK when all went well
  std::string message;      // what failed, for the notice
  bool wrongShape = false;  // a database, but not one of ours
};

void fail(LoadResult& r, int rc, sqlite3* db, const char* what) {
  if (r.rc != SQLITE_OK) return;
  r.rc = rc;
  r.message = std::string(what) + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

// Checks the file and reads the kv table. `values` is filled only on success.
template <class Map, class Entry>
LoadResult loadDatabase(sqlite3* db, Map& values) {
  LoadResult r;
  sqlite3_stmt* st = nullptr;

  // A damaged file is found here rather than at some later read.
  int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    fail(r, rc, db, "check");
    return r;
  }
  rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    if (!text || std::strcmp(text, "ok") != 0) {
      r.rc = SQLITE_CORRUPT;
      r.message = std::string("check: ") + (text ? text : "no result");
    }
  } else if (rc != SQLITE_DONE) {
    fail(r, rc, db, "check");
  }
  sqlite3_finalize(st);
  if (r.rc != SQLITE_OK) return r;

  // The table must be missing (a new file) or have exactly our three columns.
  rc = sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info('kv') ORDER BY cid", -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    fail(r, rc, db, "schema");
    return r;
  }
  std::string columns;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    columns += name ? name : "?";
    columns += ',';
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    fail(r, rc, db, "schema");
    return r;
  }
  if (columns.empty()) {
    char* err = nullptr;
    rc = sqlite3_exec(db, TABLE_SQL, nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK) {
      fail(r, rc, db, "create table");
      return r;
    }
  } else if (columns != "key,type,value,") {
    r.rc = SQLITE_CORRUPT;
    r.wrongShape = true;
    r.message = "table kv has columns " + columns.substr(0, columns.size() - 1);
    return r;
  }

  rc = sqlite3_prepare_v2(db, "SELECT key, type, value FROM kv", -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    fail(r, rc, db, "read");
    return r;
  }
  Map loaded;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    const auto* key = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    if (!key || !type || std::strlen(type) != 1) continue;
    Entry e;
    e.type = type[0];
    const int storage = sqlite3_column_type(st, 2);
    if (e.type == 'i' || e.type == 'b') {
      if (storage != SQLITE_INTEGER) continue;
      e.integer = sqlite3_column_int64(st, 2);
    } else if (e.type == 'd') {
      if (storage != SQLITE_BLOB && storage != SQLITE_NULL) continue;
      const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(st, 2));
      const int n = sqlite3_column_bytes(st, 2);
      if (bytes && n > 0) e.blob.assign(bytes, bytes + n);
    } else {
      continue;  // a kind this build does not know: leave the row alone
    }
    loaded[key] = std::move(e);
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    fail(r, rc, db, "read");
    return r;
  }
  values = std::move(loaded);
  return r;
}

std::string asideName(const std::string& path) {
  char stamp[32] = "unknown";
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&t, &tm)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  std::string base = path + ".corrupt-" + stamp;
  std::string name = base;
  for (int n = 2; fileExists(name) && n < 10000; ++n) name = base + "-" + std::to_string(n);
  return name;
}

// Renames the database and its companion files; true when the database itself was moved.
bool moveAside(const std::string& path, std::string& aside) {
  aside = asideName(path);
  if (std::rename(path.c_str(), aside.c_str()) != 0) return false;
  // A journal left by a crash belongs to the old file; applied to a new one it would damage it.
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    const std::string from = path + suffix;
    if (fileExists(from)) std::rename(from.c_str(), (aside + suffix).c_str());
  }
  return true;
}

bool exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string UserDefault::defaultFilePath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = "/tmp";
  }
  if (base.back() != '/') base += '/';
  return base + "tarvo/settings.sqlite3";
}

UserDefault& UserDefault::getInstance() {
  static UserDefault* instance = new UserDefault(defaultFilePath());  // lives until the process ends
  return *instance;
}

void UserDefault::setFilePath(const std::string& path) {
  UserDefault& store = getInstance();
  std::lock_guard<std::mutex> lock(store.mutex_);
  store.reopenLocked(path);
}

UserDefault::UserDefault(std::string path) : path_(std::move(path)) {}

UserDefault::~UserDefault() {
  std::lock_guard<std::mutex> lock(mutex_);
  closeLocked();
}

std::string UserDefault::filePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_;
}

std::string UserDefault::movedAsidePath() {
  std::lock_guard<std::mutex> lock(mutex_);
  ensureOpenLocked();
  return movedAside_;
}

void UserDefault::closeLocked() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void UserDefault::reopenLocked(const std::string& path) {
  closeLocked();
  path_ = path;
  opened_ = false;
  movedAside_.clear();
  values_.clear();
  dirty_.clear();
}

void UserDefault::ensureOpenLocked() {
  if (opened_) return;
  opened_ = true;

  const std::string dir = parentDirectory(path_);
  if (!dir.empty()) makeDirectories(dir);

  for (int attempt = 0; attempt < 2; ++attempt) {
    const bool existed = fileExists(path_);
    sqlite3* db = nullptr;
    LoadResult r;
    const int rc = sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
      fail(r, rc, db, "open");
    } else {
      sqlite3_busy_timeout(db, 2000);
      r = loadDatabase<decltype(values_), Entry>(db, values_);
    }
    if (r.rc == SQLITE_OK) {
      db_ = db;
      return;
    }
    if (db) sqlite3_close_v2(db);

    if (!existed || isTransient(r.rc) || attempt > 0) {
      // Nothing to move, or the file is fine but out of reach now: keep it, start empty in memory.
      std::fprintf(stderr, "settings store: cannot open %s (%s); starting with empty settings\n", path_.c_str(),
                   r.message.c_str());
      values_.clear();
      if (isTransient(r.rc) && existed && sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 2000);
        db_ = db;  // flush may still succeed once the other holder lets go
      } else if (db) {
        sqlite3_close_v2(db);
      }
      return;
    }
    std::string aside;
    if (!moveAside(path_, aside)) {
      std::fprintf(stderr, "settings store: %s is unreadable (%s) and could not be moved aside (%s); "
                   "starting with empty settings, not saving\n",
                   path_.c_str(), r.message.c_str(), std::strerror(errno));
      values_.clear();
      return;  // db_ stays null: the unreadable file is never overwritten
    }
    movedAside_ = aside;
    std::fprintf(stderr, "settings store: %s is unreadable (%s); moved to %s, starting with empty settings\n",
                 path_.c_str(), r.message.c_str(), aside.c_str());
    values_.clear();
  }
}

const UserDefault::Entry* UserDefault::findLocked(const char* key, char type) {
  if (!key) return nullptr;
  ensureOpenLocked();
  const auto it = values_.find(std::string_view(key));
  if (it == values_.end() || it->second.type != type) return nullptr;
  return &it->second;
}

void UserDefault::setLocked(const char* key, Entry entry) {
  if (!key) return;
  ensureOpenLocked();
  std::string k(key);
  values_[k] = std::move(entry);
  dirty_.insert(std::move(k));
}

int UserDefault::getIntegerForKey(const char* key, int defaultValue) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* e = findLocked(key, 'i');
  if (!e || e->integer < INT_MIN || e->integer > INT_MAX) return defaultValue;
  return static_cast<int>(e->integer);
}

void UserDefault::setIntegerForKey(const char* key, int value) {
  std::lock_guard<std::mutex> lock(mutex_);
  setLocked(key, Entry{'i', value, {}});
}

bool UserDefault::getBoolForKey(const char* key, bool defaultValue) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* e = findLocked(key, 'b');
  return e ? e->integer != 0 : defaultValue;
}

void UserDefault::setBoolForKey(const char* key, bool value) {
  std::lock_guard<std::mutex> lock(mutex_);
  setLocked(key, Entry{'b', value ? 1 : 0, {}});
}

Data UserDefault::getDataForKey(const char* key, const Data& defaultValue) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* e = findLocked(key, 'd');
  return e ? e->blob : defaultValue;
}

void UserDefault::setDataForKey(const char* key, const Data& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  setLocked(key, Entry{'d', 0, value});
}

bool UserDefault::hasKey(const char* key) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!key) return false;
  ensureOpenLocked();
  return values_.count(std::string_view(key)) != 0;
}

bool UserDefault::flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  ensureOpenLocked();
  if (dirty_.empty()) return true;
  if (!db_) {
    std::fprintf(stderr, "settings store: %s is not open; %zu changes not saved\n", path_.c_str(), dirty_.size());
    return false;
  }

  // One transaction: either every pending change reaches the file or none does.
  std::string failure;
  sqlite3_stmt* st = nullptr;
  if (!exec(db_, "BEGIN IMMEDIATE")) {
    failure = sqlite3_errmsg(db_);
  } else if (sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO kv (key, type, value) VALUES (?1, ?2, ?3)", -1, &st,
                                nullptr) != SQLITE_OK) {
    failure = sqlite3_errmsg(db_);
  } else {
    for (const std::string& key : dirty_) {
      const Entry& e = values_.at(key);
      const char type[2] = {e.type, 0};
      sqlite3_bind_text(st, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
      sqlite3_bind_text(st, 2, type, 1, SQLITE_TRANSIENT);
      if (e.type == 'd') {
        // A zero-length blob, not NULL, so an empty value reads back as an empty blob.
        if (e.blob.empty())
          sqlite3_bind_zeroblob(st, 3, 0);
        else
          sqlite3_bind_blob(st, 3, e.blob.data(), static_cast<int>(e.blob.size()), SQLITE_STATIC);
      } else {
        sqlite3_bind_int64(st, 3, e.integer);
      }
      if (sqlite3_step(st) != SQLITE_DONE) {
        failure = sqlite3_errmsg(db_);
        break;
      }
      sqlite3_reset(st);
      sqlite3_clear_bindings(st);
    }
    sqlite3_finalize(st);
    if (failure.empty() && !exec(db_, "COMMIT")) failure = sqlite3_errmsg(db_);
  }
  if (!failure.empty()) {
    if (!sqlite3_get_autocommit(db_)) exec(db_, "ROLLBACK");
    std::fprintf(stderr, "settings store: saving to %s failed (%s); %zu changes kept pending\n", path_.c_str(),
                 failure.c_str(), dirty_.size());
    return false;
  }
  dirty_.clear();
  return true;
}

}  // namespace eng
