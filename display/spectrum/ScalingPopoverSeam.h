// The seam between the pinch gestures of the display layers and the scene's scaling popover.
//
// A pinch that steps a scale (the waterfall's time zoom) tells the popover which step it is on;
// lifting the fingers tells it to stop showing. Until the scene installs its popover, the
// default seam does nothing, so the gestures work without it.
#pragma once

namespace tarvo {

struct ScalingPopoverStep {
  int horizontalCount = 0;
  int verticalCount = 0;
  int verticalIndex = 0;
  // The index before the step; the popover takes it as its "previous" mark only while it is
  // not already on screen (opacity 0), so a run of steps keeps the index where the gesture began.
  int verticalPrevious = 0;
};

class ScalingPopoverSeam {
 public:
  virtual ~ScalingPopoverSeam() = default;
  // Set up the popover for this step, then make it show.
  virtual void showStep(const ScalingPopoverStep&) {}
  // Clear its showing flag (it fades out on its own).
  virtual void stopShowing() {}
};

// The installed popover, or a seam that does nothing. Main thread only.
ScalingPopoverSeam& scalingPopover();
// nullptr goes back to the seam that does nothing. The caller keeps ownership.
void setScalingPopover(ScalingPopoverSeam* popover);

}  // namespace tarvo
