// RssiLayer: the spectrum trace view of one band.
//
// Per frame (engine thread):
//   update  heat-map sprite geometry and visibility; under spectrumMutex the trace processing
//           (once per new sweep, TraceProcessing.h) and the heat-map pictures (once per new
//           histogram)
//   draw    under spectrumMutex: rebuilds the trace geometry and peak icons when a sweep was
//           processed or the selection changed, and samples the traces under the X cursors
//   visit   clipped to the layer's rectangle
//
// Children: the glow and density sprites of the heat map (z −1, present only while a slot shows
// the heat map), the draw node of the traces, and the pooled peak icons. Everything persistent
// is in the model; the layer holds caches only, so a scene rebuild may discard it at any time.
#pragma once

#include <cstdint>
#include <vector>

#include "core/AnalyzerModel.h"
#include "display/DisplayConventions.h"
#include "engine/DrawNode.h"
#include "engine/Node.h"
#include "engine/Sprite.h"
#include "engine/Texture2D.h"

namespace tarvo {

class RssiLayer : public ClippingLayer {
 public:
  // The layer of the process-wide model.
  static RssiLayer* create();
  // A layer reading another model (tests, benchmarks).
  static RssiLayer* create(AnalyzerModel& model);

  bool init() override;
  void update(float dt) override;
  void draw(eng::Renderer& renderer, const eng::Mat4& transform, uint32_t flags) override;

  // Which band the layer shows; both are set after init, the scene keeps one.
  void setBandFlags(bool band24, bool band5) {
    band24_ = band24;
    band5_ = band5;
  }
  bool isBand24() const { return band24_; }
  bool isBand5() const { return band5_; }

  // --- introspection (tests) -----------------------------------------------------------------
  // Bit 0 heat map, bit t trace type t (1 ... 5).
  unsigned visibleSet() const { return visible_; }
  eng::DrawNode* traceNode() const { return drawNode_.get(); }
  eng::Sprite* glowSprite() const { return glow_.get(); }
  eng::Sprite* densitySprite() const { return density_.get(); }
  const std::vector<eng::RefPtr<eng::Sprite>>& peakIcons() const { return icons_; }
  const uint8_t* glowPixels() const { return glowPixels_.data(); }
  const uint8_t* densityPixels() const { return densityPixels_.data(); }
  // Times the trace geometry was rebuilt.
  uint64_t redrawCount() const { return redraws_; }

  static constexpr const char* WATERFALL_PROGRAM = "Waterfall";

 protected:
  RssiLayer() = default;
  ~RssiLayer() override;

 private:
  AnalyzerModel& model() const { return *model_; }
  void layoutHeatMapSprites();
  void buildHeatMap(int band);
  // The trace drawing step of one band; `forced` when the selection or the size changed.
  void drawBand(int band, bool forced);
  void placePeakIcon(size_t& used, int type, const PeakEntry& peak, float xStep, float y, eng::Color3B color);

  AnalyzerModel* model_ = nullptr;
  bool band24_ = true, band5_ = true;
  unsigned visible_ = 0;
  uint8_t cachedTypes_[3] = {0, 0, 0};
  uint8_t cachedStyle_ = 0;
  bool force_ = false;
  eng::Size cachedSize_;
  eng::RefPtr<eng::DrawNode> drawNode_;
  std::vector<eng::RefPtr<eng::Sprite>> icons_;
  eng::RefPtr<eng::Sprite> glow_, density_;
  eng::RefPtr<eng::Texture2D> glowTexture_, densityTexture_;
  std::vector<uint8_t> glowPixels_, densityPixels_;
  size_t pixelBytes_ = 0;
  std::vector<eng::Vec2> vertices_;  // one trace, reused
  float dt_ = 0;
  uint64_t redraws_ = 0;
};

}  // namespace tarvo
