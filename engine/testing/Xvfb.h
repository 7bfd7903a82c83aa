// For GL test and benchmark programs: without an X display, run the same program again under
// xvfb-run (Xvfb + Mesa llvmpipe). The display number is derived from the process id and
// checked against the X lock files, so programs started in parallel (ctest -j) do not race
// for one number the way `xvfb-run -a` can. Listing tests (`--gtest_list_tests`, ctest's
// discovery) needs no display and is not redirected.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace eng::testing {

inline void reexecUnderXvfbIfNoDisplay(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) return;
  const char* display = std::getenv("DISPLAY");
  if ((display && *display) || std::getenv("TARVO_XVFB_CHILD")) return;
  setenv("TARVO_XVFB_CHILD", "1", 1);
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string exe = n > 0 ? std::string(self, size_t(n)) : std::string(argv[0]);
  int server = 100 + int(getpid() % 20000);
  for (int tries = 0; tries < 200; ++tries, ++server) {
    const std::string lock = "/tmp/.X" + std::to_string(server) + "-lock";
    const std::string sock = "/tmp/.X11-unix/X" + std::to_string(server);
    if (access(lock.c_str(), F_OK) != 0 && access(sock.c_str(), F_OK) != 0) break;
  }
  std::vector<std::string> args{"xvfb-run", "-n", std::to_string(server), "-s", "-screen 0 1280x800x24 -nolisten tcp",
                                exe};
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  std::vector<char*> cargs;
  for (auto& a : args) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  execvp("xvfb-run", cargs.data());
  std::perror("xvfb-run");  // fall through: the program then reports the missing display
}

}  // namespace eng::testing
