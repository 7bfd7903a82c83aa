#include "display/spectrum/ScalingPopoverSeam.h"

namespace tarvo {

namespace {
ScalingPopoverSeam& nothing() {
  static ScalingPopoverSeam seam;
  return seam;
}
ScalingPopoverSeam* installed = nullptr;
}  // namespace

ScalingPopoverSeam& scalingPopover() { return installed ? *installed : nothing(); }
void setScalingPopover(ScalingPopoverSeam* popover) { installed = popover; }

}  // namespace tarvo
