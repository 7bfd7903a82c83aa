#include "tools/cli/Subcommand.h"

namespace tarvo::cli {

const std::vector<Subcommand>& subcommands() {
  static const std::vector<Subcommand> table = {
      {"simulate", "simulate <folder> [--seed N]",
       "write the demo recordings (packets/...) of every accessory generation into <folder>", runSimulate},
      {"replay", "replay --csv <file> [options]",
       "replay demo recordings headless on virtual time into a CSV data log (--help for options)", runReplay},
      {"record", "record <folder> [options]",
       "record an attached accessory into the demo-recording layout (--help for options)", runRecord},
  };
  return table;
}

}  // namespace tarvo::cli
