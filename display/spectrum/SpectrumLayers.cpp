#include "display/spectrum/SpectrumLayers.h"

#include "display/DisplayConventions.h"
#include "display/spectrum/RssiLayer.h"
#include "display/spectrum/WaterfallLayer.h"
#include "display/spectrum/WaterfallThresholdAndTouchLayer.h"

namespace tarvo {

namespace {
template <class L>
eng::Node* makeLayer(const LayerContext& c) {
  L* layer = L::create(c.model);
  if (!layer) return nullptr;
  placeOn(layer, c.area);
  layer->setBandFlags(c.band24, c.band5);
  return layer;
}
}  // namespace

void registerSpectrumLayers(DisplayLayerFactory& factory) {
  factory.trace = makeLayer<RssiLayer>;
  factory.waterfall = makeLayer<WaterfallLayer>;
  factory.threshold = makeLayer<WaterfallThresholdAndTouchLayer>;
}

}  // namespace tarvo
