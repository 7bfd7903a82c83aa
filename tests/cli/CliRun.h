// Runs tarvo-cli as a child process and reads files back (shared by the cli suites).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tarvo::clitest {

struct RunResult {
  int status = -1;
  std::string output;  // stdout and stderr together
};

inline RunResult runCli(const std::string& arguments) {
  RunResult r;
  const std::string command = std::string(TARVO_CLI_PATH) + " " + arguments + " 2>&1";
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int w = ::pclose(p);
  r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  return r;
}

inline std::string readText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Data rows (lines starting with a digit) of a CSV log.
inline int csvDataRows(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  int rows = 0;
  while (std::getline(in, line))
    if (!line.empty() && line[0] >= '0' && line[0] <= '9') ++rows;
  return rows;
}

}  // namespace tarvo::clitest
