#include "engine/services/UserDefault.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "TestDirs.h"

namespace eng {
namespace {

using tarvo::testing::readFileText;
using tarvo::testing::TempDir;
using tarvo::testing::writeFileBytes;

// Runs SQL on a database file directly, outside the store.
int execRaw(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open(path.c_str(), &db);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return rc;
}

std::string integrityOf(const std::string& path) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    else
      result = sqlite3_errmsg(db);
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return result;
}

class UserDefaultTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.file("tarvo/settings.sqlite3");
};

TEST_F(UserDefaultTest, MissingKeysAndOtherKindsYieldTheDefault) {
  UserDefault store(path);
  EXPECT_EQ(store.getIntegerForKey("config0.version", -1), -1);
  EXPECT_TRUE(store.getBoolForKey("flag", true));
  EXPECT_EQ(store.getDataForKey("blob", Data{7}), Data{7});

  store.setIntegerForKey("n", 5);
  store.setDataForKey("d", Data{1, 2});
  // A key asked for as another kind is as good as missing.
  EXPECT_EQ(store.getDataForKey("n", Data{9}), Data{9});
  EXPECT_FALSE(store.getBoolForKey("n", false));
  EXPECT_EQ(store.getIntegerForKey("d", 42), 42);
  EXPECT_FALSE(store.hasKey("x"));
  EXPECT_TRUE(store.hasKey("d"));
}

TEST_F(UserDefaultTest, FlushedValuesSurviveReopeningAndUnflushedOnesDoNot) {
  const Data withZeros{0, 0xFF, 0, 0x80, 0};
  {
    UserDefault store(path);
    store.setIntegerForKey("config2.graticule", -123456);
    store.setBoolForKey("config2.referenceHistory.isValid", true);
    store.setDataForKey("config2.demo", withZeros);
    store.setDataForKey("config2.referenceHistory.alpha", Data{});
    ASSERT_TRUE(store.flush());
    store.setIntegerForKey("config2.graticule", 7);  // never flushed
  }
  UserDefault store(path);
  EXPECT_EQ(store.getIntegerForKey("config2.graticule", 0), -123456);
  EXPECT_TRUE(store.getBoolForKey("config2.referenceHistory.isValid", false));
  EXPECT_EQ(store.getDataForKey("config2.demo"), withZeros);
  // An empty blob is a value, not a missing key.
  EXPECT_TRUE(store.hasKey("config2.referenceHistory.alpha"));
  EXPECT_EQ(store.getDataForKey("config2.referenceHistory.alpha", Data{1}), Data{});
  EXPECT_TRUE(store.movedAsidePath().empty());
}

TEST_F(UserDefaultTest, RowsOfUnknownKindOrStorageAreSkippedAndKept) {
  {
    UserDefault store(path);
    store.setIntegerForKey("a", 1);
    ASSERT_TRUE(store.flush());
  }
  ASSERT_EQ(execRaw(path, "INSERT INTO kv VALUES ('future', 'f', 1.5), ('text', 'i', 'seven'), ('big', 'i', 9999999999)"),
            SQLITE_OK);
  {
    UserDefault store(path);
    EXPECT_FALSE(store.hasKey("future"));
    EXPECT_EQ(store.getIntegerForKey("text", -1), -1);
    EXPECT_EQ(store.getIntegerForKey("big", -1), -1);  // outside int
    store.setIntegerForKey("a", 2);
    ASSERT_TRUE(store.flush());
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM kv WHERE key = 'future'", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 1);
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST_F(UserDefaultTest, DefaultLocationFollowsXdgConfigHome) {
  const std::string saved = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
  ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  EXPECT_EQ(UserDefault::defaultFilePath(), dir.path() + "/tarvo/settings.sqlite3");
  // A relative value is not a valid base directory: fall back to ~/.config.
  ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  EXPECT_EQ(UserDefault::defaultFilePath(), std::string(std::getenv("HOME")) + "/.config/tarvo/settings.sqlite3");
  ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST_F(UserDefaultTest, ProcessWideStoreCanBePointedElsewhere) {
  UserDefault::setFilePath(path);
  UserDefault::getInstance().setIntegerForKey("k", 3);
  ASSERT_TRUE(UserDefault::getInstance().flush());
  UserDefault::setFilePath(dir.file("other.sqlite3"));
  EXPECT_EQ(UserDefault::getInstance().getIntegerForKey("k", -1), -1);
  UserDefault::setFilePath(path);
  EXPECT_EQ(UserDefault::getInstance().getIntegerForKey("k", -1), 3);
  UserDefault::setFilePath(dir.file("unused.sqlite3"));
}

// Files that must not be trusted: each is moved aside byte for byte, and the store starts empty
// and still saves.
TEST_F(UserDefaultTest, DamagedFilesAreMovedAsideAndTheStoreStartsEmpty) {
  struct Case {
    const char* name;
    std::string (*make)(const std::string& path);
  };
  const Case cases[] = {
      {"not a database", [](const std::string& p) {
         const std::string junk = "this is not a database, just text\n" + std::string(5000, 'x');
         writeFileBytes(p, junk);
         return junk;
       }},
      {"table of another shape", [](const std::string& p) {
         execRaw(p, "CREATE TABLE kv (a, b); INSERT INTO kv VALUES (1, 2)");
         return readFileText(p);
       }},
      {"truncated database", [](const std::string& p) {
         {
           UserDefault s(p);
           for (int i = 0; i < 400; ++i) s.setDataForKey(("key" + std::to_string(i)).c_str(), Data(300, uint8_t(i)));
           s.flush();
         }
         std::string bytes = readFileText(p);
         bytes.resize(bytes.size() / 2);
         writeFileBytes(p, bytes);
         return bytes;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir d;
    const std::string p = d.file("settings.sqlite3");
    const std::string original = c.make(p);

    ::testing::internal::CaptureStderr();
    UserDefault store(p);
    EXPECT_EQ(store.getIntegerForKey("key0", -1), -1);
    const std::string err = ::testing::internal::GetCapturedStderr();

    const std::string aside = store.movedAsidePath();
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(aside.rfind(p + ".corrupt-", 0), 0u) << aside;
    EXPECT_EQ(readFileText(aside), original);  // nothing of the user's file is lost
    EXPECT_NE(err.find(aside), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    store.setIntegerForKey("key0", 11);
    EXPECT_TRUE(store.flush());
    UserDefault again(p);
    EXPECT_EQ(again.getIntegerForKey("key0", -1), 11);
    EXPECT_TRUE(again.movedAsidePath().empty());
  }
}

TEST_F(UserDefaultTest, UnwritableLocationReportsFailureAndKeepsChanges) {
  writeFileBytes(dir.file("plainfile"), "x");
  ::testing::internal::CaptureStderr();
  UserDefault store(dir.file("plainfile/settings.sqlite3"));  // parent is a file
  store.setIntegerForKey("a", 1);
  EXPECT_FALSE(store.flush());
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(store.getIntegerForKey("a", -1), 1);  // still readable in memory
  EXPECT_EQ(readFileText(dir.file("plainfile")), "x");
}

// A process killed in the middle of flushing must leave one whole earlier state behind. The
// child writes generation g into every key in each flush; whatever the moment of the kill, all
// keys read back with the same generation and the file passes SQLite's integrity check.
TEST_F(UserDefaultTest, KilledDuringFlushLeavesAWholeEarlierState) {
  constexpr int KEYS = 48;
  constexpr int BLOB = 4096;
  int lastGeneration = 0;
  for (int round = 0; round < 5; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      UserDefault store(path);
      for (int g = store.getIntegerForKey("generation", 0) + 1;; ++g) {
        for (int k = 0; k < KEYS; ++k) {
          Data blob(BLOB + k, static_cast<uint8_t>(g));
          std::memcpy(blob.data(), &g, sizeof g);
          store.setDataForKey(("blob" + std::to_string(k)).c_str(), blob);
          store.setIntegerForKey(("int" + std::to_string(k)).c_str(), g);
        }
        store.setIntegerForKey("generation", g);
        if (!store.flush()) ::_exit(2);
      }
    }
    ::usleep(30000 + round * 17000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself, status " << status;

    ASSERT_EQ(integrityOf(path), "ok");
    UserDefault store(path);
    EXPECT_TRUE(store.movedAsidePath().empty());
    const int g = store.getIntegerForKey("generation", 0);
    EXPECT_GE(g, lastGeneration);
    lastGeneration = g;
    if (g == 0) continue;  // killed before the first flush completed
    for (int k = 0; k < KEYS; ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(store.getIntegerForKey(("int" + std::to_string(k)).c_str(), -1), g);
      const Data blob = store.getDataForKey(("blob" + std::to_string(k)).c_str());
      ASSERT_EQ(blob.size(), static_cast<size_t>(BLOB + k));
      int stored = 0;
      std::memcpy(&stored, blob.data(), sizeof stored);
      EXPECT_EQ(stored, g);
      EXPECT_EQ(blob.back(), static_cast<uint8_t>(g));
    }
  }
  EXPECT_GT(lastGeneration, 0) << "no flush completed in any round; the test proved nothing";
}

}  // namespace
}  // namespace eng
