// The real binary on a fresh home directory (holding only an old-format working configuration): it shows its window within a few seconds, the
// window shows the graticule, the demo watermark and the read-out labels, a resize lays the
// scene out again at the new size, and closing it (the
// window system's quit, here SIGTERM, which SDL turns into a quit event) saves the working
// settings and ends the process with status 0.
//
// The captures of the window (read from the X server, XCapture.h) are kept as
// build/tests/app/end_to_end_window.png and end_to_end_resized.png.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "XCapture.h"
#include "engine/Image.h"
#include "engine/services/UserDefault.h"
#include "tests/services/TestDirs.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
  pid_t pid = -1;
  int out = -1;
  std::string output;
};

Child spawnApp(const std::string& home) {
  Child c;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return c;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::vector<std::string> env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                                  "XDG_DATA_HOME=" + home + "/data", "PATH=/usr/bin:/bin"};
  if (const char* d = std::getenv("DISPLAY")) env.push_back(std::string("DISPLAY=") + d);
  if (const char* x = std::getenv("XAUTHORITY")) env.push_back(std::string("XAUTHORITY=") + x);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  // `make run` starts the binary from build/.
  const std::string exe = std::string(TARVO_BINARY_DIR) + "/app/tarvo";
  if (chdir(TARVO_BINARY_DIR) != 0) return c;
  char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
  if (posix_spawn(&c.pid, exe.c_str(), &actions, nullptr, argv, envp.data()) != 0) c.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  c.out = pipeFds[0];
  fcntl(c.out, F_SETFL, O_NONBLOCK);
  return c;
}

// Reads the child's standard output until `needle` shows or the time runs out.
bool waitForOutput(Child& c, const std::string& needle, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (Clock::now() < end) {
    if (c.output.find(needle) != std::string::npos) return true;
    pollfd p{c.out, POLLIN, 0};
    poll(&p, 1, 50);
    char buf[4096];
    const ssize_t n = read(c.out, buf, sizeof buf);
    if (n > 0) c.output.append(buf, size_t(n));
  }
  return c.output.find(needle) != std::string::npos;
}

// Runs a program with arguments and waits; its exit status, or -1.
int runProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool waitForExit(pid_t pid, int& status, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (Clock::now() < end) {
    if (waitpid(pid, &status, WNOHANG) == pid) return true;
    usleep(20000);
  }
  return false;
}

// Pixels of a rectangle (window coordinates, top-left origin) within `tolerance` of a grey.
int countGrey(const eng::Image& img, int x0, int y0, int x1, int y1, int grey, int tolerance) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = img.pixel(x, y);
      if (std::abs(p[0] - grey) <= tolerance && std::abs(p[1] - grey) <= tolerance && std::abs(p[2] - grey) <= tolerance)
        ++n;
    }
  return n;
}

int countBright(const eng::Image& img, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (img.pixel(x, y)[0] > 180 && img.pixel(x, y)[1] > 180 && img.pixel(x, y)[2] > 180) ++n;
  return n;
}

TEST(EndToEnd, TheApplicationShowsTheDemoSceneAndSavesOnClose) {
  ASSERT_TRUE(std::getenv("DISPLAY")) << "needs an X display (the test re-runs itself under xvfb-run)";
  tarvo::testing::TempDir home;
  // A working configuration in the older format: loading keeps it as it is, so only the save on
  // close can turn it into the current format.
  const std::string settingsPath = home.path() + "/config/tarvo/settings.sqlite3";
  {
    eng::UserDefault old(settingsPath);
    old.setIntegerForKey("config0.version", 0);
    old.setIntegerForKey("config0.graticule", 31);
    ASSERT_TRUE(old.flush());
  }
  Child app = spawnApp(home.path());
  ASSERT_GT(app.pid, 0) << "could not start " << TARVO_BINARY_DIR << "/app/tarvo";

  const auto started = Clock::now();
  const bool drawn = waitForOutput(app, "first frame drawn", std::chrono::seconds(10));
  const auto shownAfter = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
  if (!drawn) kill(app.pid, SIGKILL);
  ASSERT_TRUE(drawn) << "no first frame within 10 s; output so far:\n" << app.output;
  EXPECT_LT(shownAfter.count(), 5000) << "shows within a few seconds";

  // Let the scene settle (the first frame rebuilds, the labels take their layout).
  usleep(1500 * 1000);
  eng::Image shot;
  const bool captured = apptest::captureWindow("Tarvo", shot);
  if (captured) eng::savePng(std::string(TARVO_BINARY_DIR) + "/tests/app/end_to_end_window.png", shot, true);

  // A resize: the scene rebuilds for the new size on the next frames.
  // Moved to the screen's corner first, so the larger window still fits the 1280 × 800 screen.
  const bool resized = runProgram({"xdotool", "search", "--name", "^Tarvo$", "windowmove", "0", "0"}) == 0 &&
                       runProgram({"xdotool", "search", "--name", "^Tarvo$", "windowsize", "1200", "700"}) == 0;
  usleep(1000 * 1000);
  eng::Image bigger;
  const bool capturedBigger = apptest::captureWindow("Tarvo", bigger);
  if (capturedBigger) eng::savePng(std::string(TARVO_BINARY_DIR) + "/tests/app/end_to_end_resized.png", bigger, true);

  kill(app.pid, SIGTERM);
  int status = 0;
  const bool exited = waitForExit(app.pid, status, std::chrono::seconds(10));
  if (!exited) kill(app.pid, SIGKILL);

  ASSERT_TRUE(captured) << "no window titled Tarvo";
  ASSERT_EQ(shot.width, 960);
  ASSERT_EQ(shot.height, 640);
  // The graticule: the border (grey 127) two points inside the plot's left edge, major grid
  // lines (grey 38) across the plot.
  EXPECT_GT(countGrey(shot, 0, 100, 6, 500, 127, 6), 300) << "left border of the graticule";
  EXPECT_GT(countGrey(shot, 0, 0, 960, 565, 38, 4), 2000) << "major grid lines";
  // The watermark: white artwork at opacity 65 over the plot's centre.
  EXPECT_GT(countGrey(shot, 352, 234, 608, 330, 65, 12), 200) << "demo watermark";
  // The read-out labels: white text at both ends of the strip below the plot.
  EXPECT_GT(countBright(shot, 0, 570, 200, 640), 30) << "amplitude scale label";
  EXPECT_GT(countBright(shot, 760, 570, 960, 640), 30) << "horizontal scale label";

  EXPECT_TRUE(resized) << "xdotool could not resize the window";
  if (resized && capturedBigger) {
    ASSERT_EQ(bigger.width, 1200);
    ASSERT_EQ(bigger.height, 700);
    EXPECT_GT(countGrey(bigger, 1194, 100, 1200, 560, 127, 6), 300) << "right border at the new width";
    EXPECT_GT(countBright(bigger, 1000, 630, 1200, 700), 30) << "horizontal scale label at the new right end";
    EXPECT_GT(countGrey(bigger, 472, 254, 728, 350, 65, 12), 200) << "watermark centred on the new window";
  }

  ASSERT_TRUE(exited) << "no exit within 10 s of SIGTERM";
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  eng::UserDefault settings(settingsPath);
  EXPECT_EQ(settings.getIntegerForKey("config0.version", -1), 1) << "saved on close";
  EXPECT_EQ(settings.getIntegerForKey("config0.graticule", -1), 31);
}

}  // namespace
