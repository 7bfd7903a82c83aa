#include "acquisition/protocol/AccessoryProtocolFactory.h"

#include "acquisition/protocol/AccessoryProtocolTarvo.h"
#include "acquisition/protocol/AccessoryProtocolTarvo2.h"
#include "acquisition/protocol/AccessoryProtocolTarvo25.h"

namespace tarvo {

std::unique_ptr<AccessoryProtocol> createAccessoryProtocol(int generationCode, const AnalyzerModel* model) {
  switch (generationCode) {
    case GENERATION_TARVO:
      return std::make_unique<AccessoryProtocolTarvo>();
    case GENERATION_TARVO2:
      return std::make_unique<AccessoryProtocolTarvo2>();
    case GENERATION_TARVO25:
      return std::make_unique<AccessoryProtocolTarvo25>(model);
    default:
      return nullptr;
  }
}

}  // namespace tarvo
