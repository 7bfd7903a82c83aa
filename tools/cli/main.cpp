// tarvo-cli: developer tools around the accessory protocol. `tarvo-cli help` lists them.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/cli/Subcommand.h"

namespace {

void printUsage(FILE* out) {
  std::fprintf(out, "usage: tarvo-cli <command> [arguments]\n\ncommands:\n");
  for (const auto& s : tarvo::cli::subcommands()) std::fprintf(out, "  %-32s %s\n", s.usage, s.summary);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0 ||
      std::strcmp(argv[1], "-h") == 0) {
    printUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const auto& s : tarvo::cli::subcommands())
    if (std::strcmp(argv[1], s.name) == 0) return s.run(std::vector<std::string>(argv + 2, argv + argc));
  std::fprintf(stderr, "tarvo-cli: unknown command \"%s\"\n", argv[1]);
  printUsage(stderr);
  return 2;
}
