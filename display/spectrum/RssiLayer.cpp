#include "display/spectrum/RssiLayer.h"

#include <algorithm>
#include <cmath>

#include "core/LockOrder.h"
#include "display/spectrum/TraceProcessing.h"
#include "engine/GLProgram.h"
#include "engine/services/FileUtils.h"

namespace tarvo {

namespace {

constexpr int DRAW_ORDER[] = {TRACE_RAW, TRACE_DECAY, TRACE_MAX_HOLD, TRACE_MIN_HOLD, TRACE_AVERAGE};
constexpr const char* PEAK_ICON = "PeakIcon.png";
constexpr float PEAK_ICON_SCALE = 0.5f;
constexpr float DOT_SIZE = 2.0f;

// The density sprite's program, built once from the two shader files and kept in the cache.
eng::GLProgram* waterfallProgram() {
  auto* cache = eng::GLProgramCache::getInstance();
  if (eng::GLProgram* p = cache->getGLProgram(RssiLayer::WATERFALL_PROGRAM)) return p;
  const auto& files = eng::FileUtils::getInstance();
  const std::string vsh = files.getStringFromFile("shaders/WaterfallShader.vsh");
  const std::string fsh = files.getStringFromFile("shaders/WaterfallShader.fsh");
  if (vsh.empty() || fsh.empty()) return nullptr;
  eng::GLProgram* p = eng::GLProgram::createWithByteArrays(vsh.c_str(), fsh.c_str());
  if (p) cache->addGLProgram(p, RssiLayer::WATERFALL_PROGRAM);
  return p;
}

eng::Texture2D* makePictureTexture(const std::vector<uint8_t>& pixels, bool linear) {
  eng::Texture2D* t = eng::Texture2D::create();
  if (!t->initWithData(pixels.data(), pixels.size(), eng::Texture2D::PixelFormat::RGBA8888, HEAT_MAP_TEXTURE_WIDTH,
                       HEAT_MAP_TEXTURE_HEIGHT, eng::Size(HEAT_MAP_TEXTURE_WIDTH, HEAT_MAP_TEXTURE_HEIGHT)))
    return nullptr;
  if (linear) t->setAntiAliasTexParameters();
  else t->setAliasTexParameters();
  // Nothing is in it yet.
  t->setMaxS(0);
  t->setMaxT(0);
  return t;
}

}  // namespace

RssiLayer* RssiLayer::create() { return create(AnalyzerModel::getInstance()); }

RssiLayer* RssiLayer::create(AnalyzerModel& model) {
  auto* layer = new RssiLayer();
  layer->model_ = &model;
  if (!layer->init()) {
    layer->release();
    return nullptr;
  }
  layer->autorelease();
  return layer;
}

RssiLayer::~RssiLayer() = default;

bool RssiLayer::init() {
  if (!ClippingLayer::init()) return false;
  if (!model_) model_ = &AnalyzerModel::getInstance();
  eng::GLProgram* program = waterfallProgram();
  band24_ = band5_ = true;

  pixelBytes_ = HEAT_MAP_BUFFER_BYTES;
  glowPixels_.assign(pixelBytes_, 0);
  densityPixels_.assign(pixelBytes_, 0);
  const eng::Size size = getContentSize();

  glowTexture_ = makePictureTexture(glowPixels_, true);
  densityTexture_ = makePictureTexture(densityPixels_, false);
  if (!glowTexture_ || !densityTexture_) return false;
  glow_ = eng::Sprite::createWithTexture(glowTexture_.get());
  density_ = eng::Sprite::createWithTexture(densityTexture_.get());
  if (!glow_ || !density_) return false;
  for (eng::Sprite* s : {glow_.get(), density_.get()}) {
    s->setPosition(size.width / 2, size.height / 2);
    s->setBlendFunc(eng::BlendFunc::ALPHA_NON_PREMULTIPLIED);
    addChild(s, -1);
  }
  if (program) {
    // Without the program the density sprite keeps the engine's textured program.
    eng::GLProgramState* state = eng::GLProgramState::create(program);
    state->setUniformVec2("textureSize", eng::Vec2(HEAT_MAP_TEXTURE_WIDTH, HEAT_MAP_TEXTURE_HEIGHT));
    state->setUniformTexture("u_texture", densityTexture_.get());
    density_->setGLProgramState(state);
  }

  drawNode_ = eng::DrawNode::create(2.0f);
  addChild(drawNode_.get());
  vertices_.reserve(BAND_5G_ROW_BINS);
  icons_.reserve(PEAK_TRACE_COUNT * PEAKS_PER_TRACE);
  scheduleUpdate();
  return true;
}

// --- update ------------------------------------------------------------------------------------

void RssiLayer::layoutHeatMapSprites() {
  const eng::Size size = getContentSize();
  const bool firstGeneration = model().deviceInfo()->generationCode == GENERATION_TARVO;
  for (eng::Sprite* s : {glow_.get(), density_.get()}) {
    const eng::Texture2D* t = s->getTexture();
    const float S = t->getMaxS(), T = t->getMaxT();
    const float wp = float(t->getPixelsWide()), hp = float(t->getPixelsHigh());
    const eng::Size cs = s->getContentSize();
    // Fewer than two texels either way cannot span the layer from centre to centre.
    if (!(S * wp > 1.5f && T * hp > 1.5f) || cs.width <= 0 || cs.height <= 0) {
      s->setOpacity(0);
      continue;
    }
    s->setAnchorPoint(eng::Vec2(S / 2, 1 - 0.5f / hp));
    s->setPosition(size.width / 2, 0);
    s->setScaleX(size.width / ((S - 1 / wp) * cs.width));
    s->setScaleY(-(size.height / ((T - 1 / hp) * cs.height)));
    s->setBlendFunc(eng::BlendFunc::ALPHA_NON_PREMULTIPLIED);
    s->setOpacity(s == density_.get() && firstGeneration ? 0 : 255);
  }
  const bool shown = (visible_ & 1u) != 0;
  for (eng::Sprite* s : {glow_.get(), density_.get()}) {
    if (shown && !s->getParent()) addChild(s, -1);
    else if (!shown && s->getParent() == this) removeChild(s, true);
  }
}

void RssiLayer::update(float dt) {
  dt_ = dt;
  ClippingLayer::update(dt);
  const bool heatMapShown = (visible_ & 1u) != 0;
  for (int band : {BAND_2G4, BAND_5G}) {
    if (!(band == BAND_2G4 ? band24_ : band5_)) continue;
    SpectrumStore& store = model().spectrumStore(band);
    // The flags are set under the lock by the producer; a change that lands after this look is
    // seen on the next frame, so the lock is only taken when there is something to do.
    const bool sweep = store.newSweep;
    const bool histogram = heatMapShown && store.heatMapDirty;
    if (!sweep && !histogram) continue;
    ModelLock lock(model(), LOCK_SPECTRUM);
    if (store.newSweep) processSweep(store, traceProcessingSettings(model(), band));
    if (heatMapShown && store.heatMapDirty) buildHeatMap(band);
  }
  // After the heat-map step, so a new picture is placed in the frame that uploads it.
  layoutHeatMapSprites();
}

void RssiLayer::buildHeatMap(int band) {
  SpectrumStore& store = model().spectrumStore(band);
  const HeatMapPicture pic = buildHeatMapPixels(store, model().spectrum.colorMapA, glowPixels_.data(),
                                                densityPixels_.data(), pixelBytes_);
  switch (pic.result) {
    case HeatMapBuild::TOO_LARGE: return;
    case HeatMapBuild::EMPTY:
      glowTexture_->updateWithData(glowPixels_.data(), 0, 0, HEAT_MAP_TEXTURE_WIDTH, HEAT_MAP_TEXTURE_HEIGHT);
      densityTexture_->updateWithData(densityPixels_.data(), 0, 0, HEAT_MAP_TEXTURE_WIDTH, HEAT_MAP_TEXTURE_HEIGHT);
      for (eng::Texture2D* t : {glowTexture_.get(), densityTexture_.get()}) {
        t->setMaxS(0);
        t->setMaxT(0);
      }
      return;
    case HeatMapBuild::BUILT:
      glowTexture_->updateWithData(glowPixels_.data(), 0, 0, pic.width, pic.height);
      densityTexture_->updateWithData(densityPixels_.data(), 0, 0, pic.width, pic.height);
      for (eng::Texture2D* t : {glowTexture_.get(), densityTexture_.get()}) {
        t->setMaxS(float(pic.width) / HEAT_MAP_TEXTURE_WIDTH);
        t->setMaxT(float(pic.height) / HEAT_MAP_TEXTURE_HEIGHT);
      }
      return;
  }
}

// --- draw --------------------------------------------------------------------------------------

void RssiLayer::draw(eng::Renderer& renderer, const eng::Mat4& transform, uint32_t flags) {
  ClippingLayer::draw(renderer, transform, flags);
  const SpectrumSettings& spectrum = model().spectrum;
  uint8_t types[3];
  for (int s = 0; s < 3; ++s) types[s] = uint8_t(sanitizeTraceType(spectrum.traceTypes[s]));
  const uint8_t style = model().common.graticuleDots;
  const eng::Size size = getContentSize();

  bool forced = false;
  if (force_ || !std::equal(types, types + 3, cachedTypes_) || style != cachedStyle_ || size != cachedSize_) {
    // The visible set follows the three slots exactly: a type no slot holds any more is hidden.
    visible_ = 0;
    for (uint8_t t : types) {
      if (t == TRACE_HEAT_MAP) visible_ |= 1u;
      else if (t >= TRACE_RAW && t <= TRACE_MIN_HOLD) visible_ |= 1u << t;
    }
    force_ = false;
    std::copy(types, types + 3, cachedTypes_);
    cachedStyle_ = style;
    cachedSize_ = size;
    forced = true;
  }

  for (int band : {BAND_2G4, BAND_5G}) {
    if (!(band == BAND_2G4 ? band24_ : band5_)) continue;
    drawBand(band, forced);
  }
}

void RssiLayer::drawBand(int band, bool forced) {
  SpectrumStore& store = model().spectrumStore(band);
  const CursorSettings& cursors = model().cursors;
  const bool sampling = cursors.cursorsShown && cursors.cursorSelect;
  if (!forced && !store.tracesProcessed && !sampling) return;

  ModelLock lock(model(), LOCK_SPECTRUM);
  const eng::Size size = getContentSize();
  const int n = store.processedBins;
  const auto info = model().deviceInfo();
  const float bottom = info->minDbm(band), top = info->maxDbm(band);
  // A band without a usable amplitude range (not a number, or empty) has no vertical scale.
  const bool drawable = n > 1 && n <= store.rowBins && std::isfinite(bottom) && std::isfinite(top) && top > bottom;
  const TraceScale scale = traceScale(drawable ? n : 2, size.width, size.height, bottom, top);

  if (forced || store.tracesProcessed) {
    ++redraws_;
    drawNode_->clear();
    size_t used = 0;
    if (drawable) {
      const SpectrumSettings& spectrum = model().spectrum;
      const bool dots = model().common.graticuleDots != 0;
      for (int type : DRAW_ORDER) {
        if (!(visible_ & (1u << type))) continue;
        const float* values = traceOfType(store, type);
        vertices_.resize(size_t(n));
        for (int i = 0; i < n; ++i) vertices_[size_t(i)] = eng::Vec2(float(i) * scale.xStep, scale.y(values[i]));
        const eng::Color3B color(spectrum.traceColors[type - 1][0], spectrum.traceColors[type - 1][1],
                                 spectrum.traceColors[type - 1][2]);
        const eng::Color4F c(color, 1.0f);
        if (dots) drawNode_->drawPoints(vertices_.data(), unsigned(n), DOT_SIZE, c);
        else drawNode_->drawPoly(vertices_.data(), unsigned(n), false, c);

        const int k = std::clamp(int(spectrum.measureSettings[type - 1]), 0, PEAKS_PER_TRACE);
        const auto& table = store.peakTables[size_t(type - 1)];
        for (int s = 0; s < k; ++s) {
          const PeakEntry& peak = table[size_t(s)];
          if (peak.index < 0 || peak.index >= n) continue;
          placePeakIcon(used, type, peak, scale.xStep, scale.y(peak.value), color);
        }
      }
    }
    store.tracesProcessed = false;
    // Icons not placed in this pass go, from the end of the list.
    while (icons_.size() > used) {
      icons_.back()->removeFromParentAndCleanup(true);
      icons_.pop_back();
    }
  }

  if (drawable && sampling) {
    CursorSamples& samples = model().cursorSamples;
    for (int k = 0; k < 2; ++k) sampleTraces(store, size.width, cursors.cursorPositions[k], scale, samples.cursors[k]);
    samples.sampleCount = n;
  }
}

void RssiLayer::placePeakIcon(size_t& used, int type, const PeakEntry& peak, float xStep, float y,
                              eng::Color3B color) {
  eng::Sprite* icon = nullptr;
  if (used < icons_.size()) {
    icon = icons_[used].get();
  } else {
    icon = eng::Sprite::create(PEAK_ICON);
    if (!icon) return;  // no image: no icons, nothing else changes
    icon->setAnchorPoint(eng::Vec2(0.5f, 0));
    icon->setScale(PEAK_ICON_SCALE);
    addChild(icon);
    icons_.emplace_back(icon);
  }
  ++used;
  icon->setColor(color);
  const eng::Size size = getContentSize();
  const float x = float(peak.index) * xStep;
  const float iconHeight = icon->getContentSize().height * icon->getScaleY();
  if (type == model().spectrum.peaksOnTopTrace || size.height <= y + iconHeight) {
    icon->setAnchorPoint(eng::Vec2(0.5f, 1));
    icon->setPosition(x, size.height);
  } else {
    icon->setAnchorPoint(eng::Vec2(0.5f, 0));
    icon->setPosition(x, y);
  }
}

}  // namespace tarvo
