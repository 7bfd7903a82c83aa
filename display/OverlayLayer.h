// OverlayLayer: the numeric ends of the axes, shown while the plot is touched.
//
// Four labels: the bottom and the top of the amplitude range at the right edge, and in spectrum
// mode the first and the last frequency of the band at the bottom corners. They fade in while
// any touch is down (full after 0.25 s: +4 × dt per frame) and fade out after the last touch
// ends (over 2 s: −0.5 × dt per frame). The layer's touch listener claims every touch without
// swallowing it, only to count the touches that are down.
//
// The amplitude ends are the range of the current view (power range in power mode, the band's
// range in spectrum mode) plus the attenuation offset of a connected accessory, in dBm, or in
// watts with the milliwatt unit selected. The scene creates the overlay last in every rebuild,
// on the inner plot area, and sets its mode flags.
#pragma once

#include "engine/Label.h"
#include "engine/Node.h"
#include "engine/Touch.h"

namespace tarvo {

class AnalyzerModel;

class OverlayLayer : public eng::Layer {
 public:
  // The layer reads `model` every frame; the model must outlive it.
  static OverlayLayer* create(AnalyzerModel& model);
  bool init() override;
  void onEnter() override;
  void onExit() override;
  void update(float dt) override;
  // Draws the children, then runs the label step.
  void visit(eng::Renderer& renderer, const eng::Mat4& parentTransform, uint32_t flags) override;

  // Mode flags (only spectrum mode and the 2.4 GHz flag change what is shown).
  void setFlags(bool spectrumMode, bool band24, bool band5, bool waterfall);
  bool spectrumMode() const { return spectrumMode_; }
  bool band24() const { return band24_; }
  bool band5() const { return band5_; }
  bool waterfall() const { return waterfall_; }

  int touchesDown() const { return touches_; }
  float fadeLevel() const { return fade_; }

  enum LabelId { AMPLITUDE_BOTTOM = 0, AMPLITUDE_TOP = 1, FIRST_FREQUENCY = 2, LAST_FREQUENCY = 3 };
  eng::Label* label(LabelId id) const { return labels_[id].get(); }

  static constexpr float FADE_IN_PER_SECOND = 4.0f;
  static constexpr float FADE_OUT_PER_SECOND = 0.5f;

 private:
  void labelStep();

  AnalyzerModel* model_ = nullptr;
  eng::RefPtr<eng::Label> labels_[4];
  eng::RefPtr<eng::EventListenerTouchOneByOne> listener_;
  int touches_ = 0;
  float fade_ = 0.0f;
  float dt_ = 0.0f;
  bool spectrumMode_ = true, band24_ = true, band5_ = false, waterfall_ = false;
};

// Font size of the overlay labels for a display size class (10 for 0 and 3, 12 for 1 and 2).
float overlayFontSize(int sizeClass);

}  // namespace tarvo
