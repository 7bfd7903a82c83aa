// The decoder for a generation code (byte 2 of a discover response).
#pragma once

#include <memory>

#include "acquisition/protocol/AccessoryProtocol.h"

namespace tarvo {

// A new decoder for code 2, 6 or 7; null for any other code (not a supported accessory).
// `model` is where the dual-band decoder reads the connection state (the application's model
// when null); the other generations do not use it.
std::unique_ptr<AccessoryProtocol> createAccessoryProtocol(int generationCode, const AnalyzerModel* model = nullptr);

}  // namespace tarvo
