// The real application binary (build/app/tarvo) started as a user would start it, on a fresh
// home directory, under the current X display (or its own Xvfb when there is none):
//
//   BM_App_StartupToFirstFrame    wall time from spawning the process to its "first frame drawn"
//                                 line (manual time), and the application's own figure measured
//                                 from main(). Arg 0: first start (empty settings store, slot 0
//                                 is written); 1: a second start on the same home directory.
//   BM_App_ResidentMemoryAfterDemo  resident memory after Arg seconds of running (the built-in
//                                 demo plays when the tree has the pipeline): rss_MB of the
//                                 whole process and app_rss_MB without the pages of a software
//                                 OpenGL rasteriser (libLLVM, swrast_dri, which Xvfb's Mesa maps
//                                 and a hardware driver would not).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/testing/Xvfb.h"
#include "tests/services/TestDirs.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
  pid_t pid = -1;
  int out = -1;
  std::string output;
};

Child spawnApp(const std::string& home) {
  Child c;
  int fds[2];
  if (pipe(fds) != 0) return c;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<std::string> env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                                  "XDG_DATA_HOME=" + home + "/data", "PATH=/usr/bin:/bin"};
  if (const char* d = std::getenv("DISPLAY")) env.push_back(std::string("DISPLAY=") + d);
  if (const char* x = std::getenv("XAUTHORITY")) env.push_back(std::string("XAUTHORITY=") + x);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string exe = std::string(TARVO_BINARY_DIR) + "/app/tarvo";
  char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
  if (chdir(TARVO_BINARY_DIR) != 0 || posix_spawn(&c.pid, exe.c_str(), &actions, nullptr, argv, envp.data()) != 0)
    c.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  c.out = fds[0];
  fcntl(c.out, F_SETFL, O_NONBLOCK);
  return c;
}

bool readUntil(Child& c, const std::string& needle, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (c.output.find(needle) == std::string::npos && Clock::now() < end) {
    pollfd p{c.out, POLLIN, 0};
    poll(&p, 1, 5);
    char buf[4096];
    const ssize_t n = read(c.out, buf, sizeof buf);
    if (n > 0) c.output.append(buf, size_t(n));
  }
  return c.output.find(needle) != std::string::npos;
}

void stop(Child& c) {
  if (c.pid <= 0) return;
  kill(c.pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 500 && waitpid(c.pid, &status, WNOHANG) != c.pid; ++i) usleep(10000);
  if (kill(c.pid, 0) == 0) {
    kill(c.pid, SIGKILL);
    waitpid(c.pid, &status, 0);
  }
  close(c.out);
}

// Resident kB of the process: all of it, and without the software rasteriser's mappings.
void residentKb(pid_t pid, double& total, double& withoutRasteriser) {
  std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
  std::string line, mapping;
  total = withoutRasteriser = 0;
  while (std::getline(smaps, line)) {
    if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') != std::string::npos) {
      std::istringstream fields(line);
      std::string range, perms, offset, dev, inode;
      fields >> range >> perms >> offset >> dev >> inode;
      std::getline(fields, mapping);
      continue;
    }
    if (line.rfind("Rss:", 0) == 0) {
      const double kb = std::atof(line.c_str() + 4);
      total += kb;
      if (mapping.find("libLLVM") == std::string::npos && mapping.find("swrast_dri") == std::string::npos)
        withoutRasteriser += kb;
    }
  }
}

void BM_App_StartupToFirstFrame(benchmark::State& state) {
  tarvo::testing::TempDir home;
  double ownMs = 0;
  for (auto _ : state) {
    tarvo::testing::TempDir fresh;
    const std::string& dir = state.range(0) == 0 ? fresh.path() : home.path();
    const auto t0 = Clock::now();
    Child c = spawnApp(dir);
    const bool drawn = c.pid > 0 && readUntil(c, " ms after start", std::chrono::seconds(20));
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    state.SetIterationTime(seconds);
    const auto at = c.output.find("first frame drawn ");
    if (at != std::string::npos) ownMs += std::atof(c.output.c_str() + at + 18);
    stop(c);
    if (!drawn) {
      state.SkipWithError("no first frame within 20 s");
      break;
    }
  }
  state.counters["app_ms"] = benchmark::Counter(ownMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_App_StartupToFirstFrame)->Arg(0)->Arg(1)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_App_ResidentMemoryAfterDemo(benchmark::State& state) {
  for (auto _ : state) {
    tarvo::testing::TempDir home;
    Child c = spawnApp(home.path());
    if (c.pid <= 0 || !readUntil(c, " ms after start", std::chrono::seconds(20))) {
      stop(c);
      state.SkipWithError("the application did not start");
      break;
    }
    sleep(unsigned(state.range(0)));
    double total = 0, app = 0;
    residentKb(c.pid, total, app);
    stop(c);
    state.counters["rss_MB"] = total / 1024;
    state.counters["app_rss_MB"] = app / 1024;
  }
}
BENCHMARK(BM_App_ResidentMemoryAfterDemo)->Arg(5)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  eng::testing::reexecUnderXvfbIfNoDisplay(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
