#include "display/spectrum/WaterfallLayer.h"

#include <algorithm>

#include "core/LockOrder.h"
#include "display/spectrum/WaterfallProcessing.h"
#include "engine/GLProgram.h"

namespace tarvo {

namespace {
constexpr const char* MARKER_ICON = "PeakIcon.png";
constexpr float MARKER_SCALE = 0.5f;
}  // namespace

WaterfallLayer* WaterfallLayer::create() { return create(AnalyzerModel::getInstance()); }

WaterfallLayer* WaterfallLayer::create(AnalyzerModel& model) {
  auto* layer = new WaterfallLayer();
  layer->model_ = &model;
  if (!layer->init()) {
    layer->release();
    return nullptr;
  }
  layer->autorelease();
  return layer;
}

WaterfallLayer::~WaterfallLayer() = default;

bool WaterfallLayer::init() {
  if (!ClippingLayer::init()) return false;
  if (!model_) model_ = &AnalyzerModel::getInstance();
  band24_ = band5_ = true;
  pixelBytes_ = WATERFALL_BUFFER_BYTES;
  pixels_.assign(pixelBytes_, 0);
  texture_ = eng::Texture2D::create();
  if (!texture_->initWithData(pixels_.data(), pixels_.size(), eng::Texture2D::PixelFormat::RGBA8888,
                              WATERFALL_TEXTURE_WIDTH, WATERFALL_TEXTURE_HEIGHT,
                              eng::Size(WATERFALL_TEXTURE_WIDTH, WATERFALL_TEXTURE_HEIGHT)))
    return false;
  texture_->setMaxS(0);
  texture_->setMaxT(0);
  // Nearest texels: each sweep is a row of its own, never blended into its neighbours or into
  // the empty rows above the newest one.
  texture_->setAliasTexParameters();
  sprite_ = eng::Sprite::createWithTexture(texture_.get());
  if (!sprite_) return false;
  const eng::Size size = getContentSize();
  sprite_->setPosition(size.width / 2, size.height / 2);
  sprite_->setVisible(false);
  addChild(sprite_.get());
  markers_.reserve(MARKER_SLOT_COUNT);
  scheduleUpdate();
  return true;
}

void WaterfallLayer::update(float dt) {
  dt_ = dt;
  ClippingLayer::update(dt);
}

void WaterfallLayer::draw(eng::Renderer& renderer, const eng::Mat4& transform, uint32_t flags) {
  ClippingLayer::draw(renderer, transform, flags);
  const bool cursors = model().cursors.cursorsShown != 0;
  bool markersPlaced = false;
  for (int band : {BAND_2G4, BAND_5G}) {
    if (!(band == BAND_2G4 ? band24_ : band5_)) continue;
    const SpectrumStore& store = model().spectrumStore(band);
    if (!store.heatMapChanged && !cursors) continue;
    ModelLock lock(model(), LOCK_SPECTRUM);
    if (store.heatMapChanged) buildRows(band);
    if (cursors) {
      placeMarkers(band);
      markersPlaced = true;
    }
  }
  if (!markersPlaced) {
    // Markers belong to the cursor lines: with the cursors off none shows.
    if (!cursors) model().markerSlots.fill(MarkerSlot{});
    hideMarkersFrom(0);
  }
  layoutPicture();
}

void WaterfallLayer::buildRows(int band) {
  SpectrumStore& store = model().spectrumStore(band);
  const SpectrumSettings& s = model().spectrum;
  const WaterfallColorScale scale(s.waterfallTopDbm, s.waterfallBottomDbm);
  const Rgb* table = colors_.get(s.colorMapB, WATERFALL_COLOR_ENTRIES, ColorTableForm::WATERFALL);
  const WaterfallPicture pic =
      buildWaterfallRows(store, model().deviceInfo()->binsShown(band), scale, table, pixels_.data(), pixelBytes_);
  ++rebuilds_;
  if (pic.empty) {
    texture_->setMaxS(0);
    texture_->setMaxT(0);
  } else if (!pic.tooLarge) {
    texture_->updateWithData(pixels_.data(), 0, 0, pic.bins, pic.rows);
    texture_->setMaxS(float(pic.bins) / WATERFALL_TEXTURE_WIDTH);
    texture_->setMaxT(float(pic.rows) / WATERFALL_TEXTURE_HEIGHT);
  }
  store.heatMapChanged = false;
}

void WaterfallLayer::layoutPicture() {
  const eng::Texture2D* t = texture_.get();
  const float S = t->getMaxS(), T = t->getMaxT();
  const eng::Size cs = sprite_->getContentSize();
  if (!(S > 0 && T > 0) || cs.width <= 0 || cs.height <= 0) {
    sprite_->setVisible(false);
    return;
  }
  const eng::Size size = getContentSize();
  const float d = float(waterfallZoomDivisor(model().spectrum.waterfallOption));
  const float hp = float(t->getPixelsHigh());
  sprite_->setVisible(true);
  sprite_->setAnchorPoint(eng::Vec2(S / 2, 1 - T));
  sprite_->setPosition(size.width / 2, size.height);
  sprite_->setScaleX(size.width / (cs.width * S));
  sprite_->setScaleY(-(size.height / cs.height) * (hp / WATERFALL_ROWS) * d);
}

void WaterfallLayer::placeMarkers(int band) {
  const SpectrumStore& store = model().spectrumStore(band);
  const SpectrumSettings& s = model().spectrum;
  const CursorSettings& c = model().cursors;
  const eng::Size size = getContentSize();
  const WaterfallColorScale scale(s.waterfallTopDbm, s.waterfallBottomDbm);
  const Rgb* table = colors_.get(s.colorMapB, WATERFALL_COLOR_ENTRIES, ColorTableForm::WATERFALL);

  WaterfallMarkerInput in;
  in.width = size.width;
  in.height = size.height;
  in.zoomDivisor = waterfallZoomDivisor(s.waterfallOption);
  in.binsShown = model().deviceInfo()->binsShown(band);
  in.cursorX[0] = c.cursorPositions[0];
  in.cursorX[1] = c.cursorPositions[1];
  in.cursorY[0] = c.cursorPositions[2];
  in.cursorY[1] = c.cursorPositions[3];
  in.rowMarkers = s.measureSettings[5];
  in.columnMarkers = s.measureSettings[6];
  WaterfallMarker found[MARKER_SLOT_COUNT];
  const int count = findWaterfallMarkers(store, in, scale, model().markerSlots, found);

  size_t placed = 0;
  for (int i = 0; i < count; ++i) {
    eng::Sprite* m = nullptr;
    if (placed < markers_.size()) {
      m = markers_[placed].get();
    } else {
      m = eng::Sprite::create(MARKER_ICON);
      if (!m) break;  // no image: no markers
      m->setAnchorPoint(eng::Vec2(0.5f, 0));
      m->setScale(MARKER_SCALE);
      addChild(m);
      markers_.emplace_back(m);
    }
    ++placed;
    const Rgb col = table[found[i].colorIndex];
    m->setPosition(found[i].x, found[i].y);
    m->setColor(eng::Color3B(col.r, col.g, col.b));
    m->setOpacity(255);
  }
  hideMarkersFrom(placed);
}

void WaterfallLayer::hideMarkersFrom(size_t first) {
  for (size_t i = first; i < markers_.size(); ++i) markers_[i]->setOpacity(0);
}

}  // namespace tarvo
