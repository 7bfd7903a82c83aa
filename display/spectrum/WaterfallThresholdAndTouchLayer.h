// WaterfallThresholdAndTouchLayer: the two colour-scale thresholds of the waterfall as bubbles
// at the right edge, with read-outs while one is dragged, and the vertical pinch that changes
// the waterfall's time zoom.
//
// Touch (one-by-one listener, not swallowing): one touch on a bubble drags its threshold (the
// upper pulls the lower along, the lower pushes the upper); two touches pinch, and every 100
// points of vertical movement step waterfallOption (spread: zoom in, pinch: zoom out) and show
// the scaling popover through its seam (ScalingPopoverSeam.h). While a drag or pinch owns the
// touch the model's touchCaptured flag is set.
//
// Drawing (every frame): bubble tints from the waterfall colour map, bubble positions (a bubble
// outside the visible range waits at the edge, pointing away), and the read-out boxes with
// threshold lines, which fade out over one second after a drag ends.
#pragma once

#include <cstdint>
#include <vector>

#include "core/AnalyzerModel.h"
#include "display/DisplayConventions.h"
#include "display/spectrum/ColorTable.h"
#include "engine/DrawNode.h"
#include "engine/Label.h"
#include "engine/Node.h"
#include "engine/Sprite.h"
#include "engine/Touch.h"

namespace tarvo {

class WaterfallThresholdAndTouchLayer : public ClippingLayer {
 public:
  static WaterfallThresholdAndTouchLayer* create();
  static WaterfallThresholdAndTouchLayer* create(AnalyzerModel& model);

  bool init() override;
  void onEnter() override;
  void onExit() override;
  void update(float dt) override;
  void draw(eng::Renderer& renderer, const eng::Mat4& transform, uint32_t flags) override;

  void setBandFlags(bool band24, bool band5) {
    band24_ = band24;
    band5_ = band5;
  }
  bool isBand24() const { return band24_; }
  bool isBand5() const { return band5_; }

  // --- introspection (tests) -----------------------------------------------------------------
  int dragState() const { return dragState_; }
  float fade() const { return fade_; }
  float fontSize() const { return fontSize_; }
  eng::Size readoutBoxSize() const { return box_; }
  eng::Sprite* lowerBubble() const { return lower_.get(); }
  eng::Sprite* upperBubble() const { return upper_.get(); }
  eng::Label* lowerLabel() const { return lowerLabel_.get(); }
  eng::Label* upperLabel() const { return upperLabel_.get(); }
  eng::DrawNode* lines() const { return drawNode_.get(); }
  size_t trackedTouches() const { return touches_.size(); }

 protected:
  WaterfallThresholdAndTouchLayer() = default;
  ~WaterfallThresholdAndTouchLayer() override;

 private:
  AnalyzerModel& model() const { return *model_; }
  int band() const { return band24_ || !band5_ ? BAND_2G4 : BAND_5G; }
  // Visible range of the band (with the attenuation offset) and points per dB.
  struct Range {
    float minDbm, maxDbm, yScale;
  };
  Range visibleRange() const;
  void placeBubble(eng::Sprite* bubble, float y, float width, float height);
  // Bottom edge of a read-out box for a threshold at clamped height yc.
  float boxBottom(bool upper, float yc, float height) const;
  void drawReadout(bool upper, float value, float y, eng::Label* label, const Rgb& color, float width,
                   float height);
  bool hitsBubble(bool upper, eng::Vec2 p) const;

  bool onTouchBegan(eng::Touch* touch);
  void onTouchMoved(eng::Touch* touch);
  void onTouchEnded(eng::Touch* touch);
  void onTouchCancelled(eng::Touch* touch);
  void finishTouch(eng::Touch* touch, bool cancelled);
  void releaseTouches();

  AnalyzerModel* model_ = nullptr;
  bool band24_ = true, band5_ = true;
  float dt_ = 0;
  float fontSize_ = 10;
  float fade_ = 0;
  eng::Size box_;
  std::vector<eng::RefPtr<eng::Touch>> touches_;
  int dragState_ = 0;
  float pinchX_ = 0, pinchY_ = 0;
  eng::RefPtr<eng::Sprite> lower_, upper_;
  eng::RefPtr<eng::Label> lowerLabel_, upperLabel_;
  eng::RefPtr<eng::DrawNode> drawNode_;
  eng::RefPtr<eng::EventListenerTouchOneByOne> listener_;
  ColorTableCache colors_;
  // Where the read-out boxes were last drawn (layer space), for touches on them.
  eng::Rect lowerBox_, upperBox_;
};

}  // namespace tarvo
