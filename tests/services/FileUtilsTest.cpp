#include "engine/services/FileUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "TestDirs.h"

namespace eng {
namespace {

using tarvo::testing::TempDir;
using tarvo::testing::writeFileBytes;

class FileUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FileUtils& fu = FileUtils::getInstance();
    savedRoot = fu.resourceRoot();
    savedPaths = fu.searchPaths();
    fu.setResourceRoot(root.path());
    fu.setSearchPaths({"res/desktop/sd", "res", ""});
    makeDirectories(root.file("res/desktop/sd"));
  }
  void TearDown() override {
    FileUtils& fu = FileUtils::getInstance();
    fu.setResourceRoot(savedRoot);
    fu.setSearchPaths(savedPaths);
    fu.setWritablePath("");
  }
  TempDir root;
  std::string savedRoot;
  std::vector<std::string> savedPaths;
};

TEST_F(FileUtilsTest, SearchPathsAreTriedInOrder) {
  FileUtils& fu = FileUtils::getInstance();
  writeFileBytes(root.file("res/a.bin"), "res");
  writeFileBytes(root.file("res/desktop/sd/a.bin"), "sd");
  writeFileBytes(root.file("b.bin"), "root");
  writeFileBytes(root.file("res/b.bin"), "res-b");
  writeFileBytes(root.file("only-root.bin"), "r");
  EXPECT_EQ(fu.getStringFromFile("a.bin"), "sd");
  EXPECT_EQ(fu.getStringFromFile("b.bin"), "res-b");
  EXPECT_EQ(fu.getStringFromFile("only-root.bin"), "r");
  EXPECT_EQ(fu.fullPathForFilename("only-root.bin"), root.file("only-root.bin"));
}

TEST_F(FileUtilsTest, ReadsWholeBinaryFilesAndEmptyWhenMissing) {
  FileUtils& fu = FileUtils::getInstance();
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  makeDirectories(root.file("res/packets/Tarvo"));
  writeFileBytes(root.file("res/packets/Tarvo/Tarvo_discover.bin"), bytes);
  const auto data = fu.getDataFromFile("packets/Tarvo/Tarvo_discover.bin");
  EXPECT_EQ(std::string(data.begin(), data.end()), bytes);
  EXPECT_TRUE(fu.isFileExist("packets/Tarvo/Tarvo_discover.bin"));

  EXPECT_TRUE(fu.getDataFromFile("packets/Tarvo/missing.bin").empty());
  EXPECT_FALSE(fu.isFileExist("packets/Tarvo/missing.bin"));
  // A directory is not a file.
  EXPECT_FALSE(fu.isFileExist("packets"));
  EXPECT_TRUE(fu.getDataFromFile("packets").empty());
  EXPECT_TRUE(fu.getDataFromFile("").empty());
}

TEST_F(FileUtilsTest, WritableDirectoryIsUnderXdgDataHomeAndCreated) {
  FileUtils& fu = FileUtils::getInstance();
  const std::string saved = std::getenv("XDG_DATA_HOME");
  TempDir data;
  ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
  fu.setWritablePath("");
  const std::string w = fu.getWritablePath();
  EXPECT_EQ(w, data.path() + "/tarvo/");
  struct stat st;
  EXPECT_EQ(::stat(w.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));

  // Relative values are ignored in favour of ~/.local/share.
  ::setenv("XDG_DATA_HOME", "not/absolute", 1);
  fu.setWritablePath("");
  EXPECT_EQ(fu.getWritablePath(), std::string(std::getenv("HOME")) + "/.local/share/tarvo/");

  fu.setWritablePath(data.path());  // an override gains its trailing slash
  EXPECT_EQ(fu.getWritablePath(), data.path() + "/");
  ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace eng
