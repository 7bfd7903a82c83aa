#include "fuzz/harness/Harness.h"

namespace tarvo::fuzz {

const std::vector<Harness>& allHarnesses() {
  static const std::vector<Harness> harnesses = {
      {"settings", runSettingsInput, settingsSeeds},
      {"scan", runScanInput, scanSeeds},
#ifdef TARVO_FUZZ_HANDLER
      {"handler", runHandlerInput, handlerSeeds},
#endif
  };
  return harnesses;
}

}  // namespace tarvo::fuzz
