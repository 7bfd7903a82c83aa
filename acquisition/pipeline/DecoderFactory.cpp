#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"

namespace tarvo {

// The generation decoders join here as they land; until then no accessory is recognised.
std::unique_ptr<AccessoryProtocol> createDecoder(int generationCode) {
  (void)generationCode;
  return nullptr;
}

}  // namespace tarvo
