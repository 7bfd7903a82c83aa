#include "tools/cli/Subcommand.h"

namespace tarvo::cli {

const std::vector<Subcommand>& subcommands() {
  static const std::vector<Subcommand> table = {
      {"simulate", "simulate <folder> [--seed N]",
       "write the demo recordings (packets/...) of every accessory generation into <folder>", runSimulate},
  };
  return table;
}

}  // namespace tarvo::cli
