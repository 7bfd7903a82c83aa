// tarvo-cli simulate <folder> [--seed N]: writes the demo recordings of every generation under
// <folder> (packets/Tarvo/..., packets/Tarvo2/..., packets/Tarvo5x/...). The same seed always
// gives the same bytes.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "tools/cli/Subcommand.h"
#include "tools/sim/Recordings.h"

namespace tarvo::cli {

int runSimulate(const std::vector<std::string>& args) {
  sim::RecordingOptions options;
  std::string folder;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--seed") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "tarvo-cli simulate: --seed needs a number\n");
        return 2;
      }
      errno = 0;
      char* end = nullptr;
      const unsigned long v = std::strtoul(args[i + 1].c_str(), &end, 0);
      if (errno != 0 || !end || *end != '\0' || args[i + 1].empty() || v > 0xFFFFFFFFul) {
        std::fprintf(stderr, "tarvo-cli simulate: bad seed \"%s\"\n", args[i + 1].c_str());
        return 2;
      }
      options.seed = static_cast<uint32_t>(v);
      ++i;
    } else if (folder.empty() && !args[i].empty() && args[i][0] != '-') {
      folder = args[i];
    } else {
      std::fprintf(stderr, "tarvo-cli simulate: unexpected argument \"%s\"\n", args[i].c_str());
      return 2;
    }
  }
  if (folder.empty()) {
    std::fprintf(stderr, "usage: tarvo-cli simulate <folder> [--seed N]\n");
    return 2;
  }
  std::string error;
  size_t total = 0;
  if (!sim::writeRecordings(folder, options, &error, &total)) {
    std::fprintf(stderr, "tarvo-cli simulate: %s\n", error.c_str());
    return 1;
  }
  std::printf("tarvo-cli simulate: %zu files, %zu bytes in %s\n", sim::recordingLayout().size(), total, folder.c_str());
  return 0;
}

}  // namespace tarvo::cli
