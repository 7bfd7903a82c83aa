// Mail hand-off and URL opening: argument vectors, never a shell.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "engine/Platform.h"

using namespace eng;

namespace {

class RecordingLauncher : public ProcessLauncher {
 public:
  int run(const std::vector<std::string>& argv) override {
    calls.push_back(argv);
    return status;
  }
  std::vector<std::vector<std::string>> calls;
  int status = 0;
};

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarvo-mail-XXXXXX";
    dir = mkdtemp(tmpl);
    setenv("TMPDIR", dir.c_str(), 1);
    setProcessLauncher(&launcher);
  }
  void TearDown() override {
    setProcessLauncher(nullptr);
    unsetenv("TMPDIR");
  }
  RecordingLauncher launcher;
  std::string dir;
};

TEST_F(PlatformTest, MailWritesTheAttachmentAndPassesItAsArguments) {
  const std::string bytes = "a,b\n1,2\n";
  EXPECT_TRUE(sendEmail("", "Tarvo Data Log", "", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "",
                        "Tarvo_20261211_101500.csv"));
  ASSERT_EQ(launcher.calls.size(), 1u);
  const std::string path = dir + "/Tarvo_20261211_101500.csv";
  EXPECT_EQ(launcher.calls[0],
            (std::vector<std::string>{"xdg-email", "--subject", "Tarvo Data Log", "--attach", path}));
  std::ifstream f(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), bytes);
}

TEST_F(PlatformTest, ShellCharactersStayOneArgumentAndPathsCannotEscape) {
  EXPECT_TRUE(sendEmail("", "x; rm -rf ~ $(id)", "", nullptr, 0, "", "../../etc/passwd"));
  ASSERT_EQ(launcher.calls.size(), 1u);
  EXPECT_EQ(launcher.calls[0][2], "x; rm -rf ~ $(id)");
  EXPECT_EQ(launcher.calls[0][4], dir + "/passwd") << "only the base name is used";
}

TEST_F(PlatformTest, FailureOfTheMailClientIsReportedAndOptionLikeRecipientsRefused) {
  launcher.status = 3;
  EXPECT_FALSE(sendEmail("", "s", "", nullptr, 0, "", "f.csv"));
  launcher.status = 0;
  EXPECT_FALSE(sendEmail("--utf8", "s", "", nullptr, 0, "", "f.csv"));
  EXPECT_EQ(launcher.calls.size(), 1u) << "the option-like recipient started nothing";
}

TEST_F(PlatformTest, OpenUrlRefusesEmptyAndOptionText) {
  EXPECT_TRUE(openURL("https://example.invalid/"));
  EXPECT_FALSE(openURL(""));
  EXPECT_FALSE(openURL("--help"));
  ASSERT_EQ(launcher.calls.size(), 1u);
  EXPECT_EQ(launcher.calls[0], (std::vector<std::string>{"xdg-open", "https://example.invalid/"}));
}

TEST(SpawnLauncherTest, ReportsExitStatusAndMissingPrograms) {
  SpawnLauncher l;
  EXPECT_EQ(l.run({"true"}), 0);
  EXPECT_EQ(l.run({"sh", "-c", "exit 4"}), 4);
  EXPECT_NE(l.run({"tarvo-no-such-program"}), 0);
  EXPECT_EQ(l.run({}), -1);
}

}  // namespace
