#include "display/DisplayLayerFactory.h"

namespace tarvo {

DisplayLayerFactory& displayLayerFactory() {
  static DisplayLayerFactory factory;
  return factory;
}

}  // namespace tarvo
