// One libFuzzer target: TARVO_FUZZ_HARNESS names the harness (fuzz/harness/Harness.h) it runs.
// A broken invariant is reported on stderr and aborts, which libFuzzer records as a crash.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/harness/Harness.h"

namespace {

const tarvo::fuzz::Harness& harness() {
  static const tarvo::fuzz::Harness* found = [] {
    for (const auto& h : tarvo::fuzz::allHarnesses())
      if (std::strcmp(h.name, TARVO_FUZZ_HARNESS) == 0) return &h;
    std::fprintf(stderr, "fuzz: no harness named %s in this build\n", TARVO_FUZZ_HARNESS);
    std::abort();
  }();
  return *found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string broken = harness().run(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "fuzz_%s: invariant broken: %s\n", harness().name, broken.c_str());
    std::abort();
  }
  return 0;
}
