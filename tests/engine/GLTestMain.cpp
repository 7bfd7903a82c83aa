// Entry point of the GL test program: without an X display it runs itself again under
// xvfb-run (Xvfb + Mesa), so plain `ctest` works as well as `make test`. Listing the tests
// (ctest's discovery) needs no display and is not redirected.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
  const char* display = std::getenv("DISPLAY");
  if ((!display || !*display) && !listing && !std::getenv("TARVO_XVFB_CHILD")) {
    setenv("TARVO_XVFB_CHILD", "1", 1);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string exe = n > 0 ? std::string(self, size_t(n)) : argv[0];
    std::vector<std::string> args{"xvfb-run", "-a", "-s", "-screen 0 1280x800x24", exe};
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    std::vector<char*> cargs;
    for (auto& a : args) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    execvp("xvfb-run", cargs.data());
    std::perror("xvfb-run");  // fall through: the tests then report the missing display
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
