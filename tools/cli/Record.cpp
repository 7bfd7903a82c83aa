// tarvo-cli record: an attached accessory's traffic into the demo-recording layout.
#include <cstdio>

#include "link/LibusbTransport.h"
#include "tools/cli/Recorder.h"
#include "tools/cli/Subcommand.h"

namespace tarvo::cli {

int runRecord(const std::vector<std::string>& args) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(RECORD_USAGE, stdout);
    return 0;
  }
  RecordOptions o;
  if (const std::string complaint = parseRecordOptions(args, o); !complaint.empty()) {
    std::fprintf(stderr, "tarvo-cli record: %s\n%s", complaint.c_str(), RECORD_USAGE);
    return 2;
  }
  return recordSession(systemUsbTransport(), o, stdout, stderr);
}

}  // namespace tarvo::cli
