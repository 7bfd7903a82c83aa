// tarvo-cli subcommands.
//
// Each subcommand lives in its own source file and defines one entry function; the table in
// Subcommands.cpp names them. Adding one ("replay", "record", ...) means a new file with a
// `run<Name>(args)` function, one declaration below and one row in the table.
#pragma once

#include <string>
#include <vector>

namespace tarvo::cli {

// Arguments after the subcommand's name. Returns the process exit code.
using SubcommandEntry = int (*)(const std::vector<std::string>& args);

struct Subcommand {
  const char* name;
  const char* usage;    // "simulate <folder> [--seed N]"
  const char* summary;  // one line for the help text
  SubcommandEntry run;
};

const std::vector<Subcommand>& subcommands();

int runSimulate(const std::vector<std::string>& args);
int runReplay(const std::vector<std::string>& args);
int runRecord(const std::vector<std::string>& args);

}  // namespace tarvo::cli
