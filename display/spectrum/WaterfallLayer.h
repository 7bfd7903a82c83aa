// WaterfallLayer: the newest sweeps of one band as rows of colour, newest at the top, with
// markers on the strongest points along the cursor lines.
//
// Per frame (engine thread): draw takes spectrumMutex, rebuilds the rows when the band's
// heatMapChanged says so (WaterfallProcessing.h) and uploads only the used sub-rectangle,
// places the sprite for the time zoom, and places the cursor markers; it draws nothing itself.
// visit clips the children to the layer.
#pragma once

#include <cstdint>
#include <vector>

#include "core/AnalyzerModel.h"
#include "display/DisplayConventions.h"
#include "display/spectrum/ColorTable.h"
#include "engine/Node.h"
#include "engine/Sprite.h"
#include "engine/Texture2D.h"

namespace tarvo {

struct WaterfallMarker;

class WaterfallLayer : public ClippingLayer {
 public:
  static WaterfallLayer* create();
  static WaterfallLayer* create(AnalyzerModel& model);

  bool init() override;
  void update(float dt) override;
  void draw(eng::Renderer& renderer, const eng::Mat4& transform, uint32_t flags) override;

  void setBandFlags(bool band24, bool band5) {
    band24_ = band24;
    band5_ = band5;
  }
  bool isBand24() const { return band24_; }
  bool isBand5() const { return band5_; }

  // --- introspection (tests) -----------------------------------------------------------------
  eng::Sprite* picture() const { return sprite_.get(); }
  eng::Texture2D* texture() const { return texture_.get(); }
  const std::vector<eng::RefPtr<eng::Sprite>>& markers() const { return markers_; }
  // Times the rows were rebuilt.
  uint64_t rebuildCount() const { return rebuilds_; }

 protected:
  WaterfallLayer() = default;
  ~WaterfallLayer() override;

 private:
  AnalyzerModel& model() const { return *model_; }
  void buildRows(int band);
  void layoutPicture();
  void placeMarkers(int band);
  void hideMarkersFrom(size_t first);

  AnalyzerModel* model_ = nullptr;
  bool band24_ = true, band5_ = true;
  std::vector<uint8_t> pixels_;
  size_t pixelBytes_ = 0;
  eng::RefPtr<eng::Texture2D> texture_;
  eng::RefPtr<eng::Sprite> sprite_;
  std::vector<eng::RefPtr<eng::Sprite>> markers_;
  ColorTableCache colors_;
  float dt_ = 0;
  uint64_t rebuilds_ = 0;
};

}  // namespace tarvo
