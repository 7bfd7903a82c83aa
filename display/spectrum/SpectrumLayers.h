// Plugs the spectrum layers into the main scene's rebuild: the trace layer of trace view, the
// waterfall and its threshold layer of waterfall view, each on the inner plot area for the
// current band.
#pragma once

#include "display/DisplayLayerFactory.h"

namespace tarvo {

// Sets the trace, waterfall and threshold entries of `factory` (other entries are left alone).
void registerSpectrumLayers(DisplayLayerFactory& factory);

}  // namespace tarvo
