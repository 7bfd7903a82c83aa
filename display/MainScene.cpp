#include "display/MainScene.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "accesspoints/model/AccessPointList.h"
#include "accesspoints/model/Utilization.h"
#include "core/AnalyzerModel.h"
#include "core/LockOrder.h"
#include "core/ValueFormat.h"
#include "display/DisplayConventions.h"
#include "engine/Actions.h"
#include "engine/Director.h"

namespace tarvo {

namespace {

constexpr eng::Color4B CYAN{0, 255, 255, 255};

// Texts are set only when they change, so a steady frame allocates nothing.
void setText(eng::Label* label, const std::string& text) {
  if (label) label->setString(text);
}

// "--" in place of a value that is not a number.
std::string orDashes(float value, const std::string& text) { return std::isnan(value) ? std::string("--") : text; }

// Widths of the measuring strings, taken once per process with the read-out font.
struct MeasuringWidths {
  bool measured = false;
  float A = 0, Hz = 0, TRIG = 0, X = 0, Y = 0, Ypos = 0, Ydiff = 0;
};
MeasuringWidths g_widths;

float measure(const std::string& text, const std::string& font, float size) {
  eng::Label* l = eng::Label::createWithTTF(text, font, size);
  return l ? l->getContentSize().width : 0.0f;
}

bool isCursorTraceRow(int type) { return type != TRACE_NONE && type != TRACE_HEAT_MAP; }

}  // namespace

MainScene* MainScene::create() { return create(AnalyzerModel::getInstance(), eng::systemClock()); }

MainScene* MainScene::create(AnalyzerModel& model, eng::Clock& clock) {
  auto* scene = new MainScene();
  scene->model_ = &model;
  scene->clock_ = &clock;
  scene->menus_ = &menuAttachment();
  scene->factory_ = displayLayerFactory();
  if (!scene->init()) {
    scene->release();
    return nullptr;
  }
  scene->autorelease();
  return scene;
}

bool MainScene::init() { return model_ && clock_ && eng::Scene::init(); }

MainScene::~MainScene() = default;

float MainScene::menuBarHeightNow() const { return menuBarHeight(model_->runtime.displaySizeClass); }

// --- construction ----------------------------------------------------------------------------

void MainScene::onEnter() {
  eng::Scene::onEnter();
  menus_->attach(this);
  scheduleUpdate();
  rebuildLayers();
  if (entered_) return;  // the labels, popover and watermark live as long as the scene
  entered_ = true;
  if (factory_.scalingPopover) {
    if (eng::Node* popover = factory_.scalingPopover(*model_)) {
      popover_ = popover;
      popover->setOpacity(0);
      addChild(popover, Z_POPOVER);
    }
  }
  createReadoutLabels();
  createWatermark();
}

void MainScene::createReadoutLabels() {
  static const struct {
    const char* text;
    eng::Color4B color;
  } table[READOUT_COUNT] = {
      {"A:10.00dBm/div", eng::Color4B(eng::colors::WHITE)},
      {"Hz:10.00GHz/div", eng::Color4B(eng::colors::WHITE)},
      {"@Hz: 2500 MHz", eng::Color4B(eng::colors::RED)},
      {"\xCE\x94Hz: 2500 MHz", eng::Color4B(eng::colors::RED)},
      {"@dBm: -100.00dBm", eng::Color4B(eng::colors::ORANGE)},
      {"\xCE\x94" "dBm: -100.00dBm", eng::Color4B(eng::colors::ORANGE)},
      {"@dBm: -100.00dBm", eng::Color4B(eng::colors::MAGENTA)},
      {"\xCE\x94" "dBm: -100.00dBm", eng::Color4B(eng::colors::MAGENTA)},
      {"@dBm: -100.00dBm", eng::Color4B(eng::colors::YELLOW)},
      {"\xCE\x94" "dBm: -100.00dBm", eng::Color4B(eng::colors::YELLOW)},
      {"TRIG?", CYAN},
  };
  const eng::Rect visible = visibleRect();
  const float h = menuBarHeightNow();
  const float fontSize = h / 5;
  float x = visible.origin.x + 5;
  for (int i = 0; i < READOUT_COUNT; ++i) {
    eng::Label* label = eng::Label::createWithTTF(table[i].text, READOUT_FONT, fontSize);
    if (!label) continue;
    label->setTextColor(table[i].color);
    label->setAnchorPoint({0, 0.5f});
    // A provisional row along the bottom; the first layout pass moves them.
    label->setPosition({x, visible.origin.y + h / 2});
    x += label->getContentSize().width + 5;
    addChild(label, Z_READOUTS);
    labels_[i] = label;
  }
}

void MainScene::createWatermark() {
  const eng::Rect visible = visibleRect();
  const float h = menuBarHeightNow();
  eng::Sprite* sprite = eng::Sprite::create("demo.png");
  if (!sprite) return;
  sprite->setAnchorPoint({0.5f, 0.5f});
  sprite->setPosition(visible.origin + eng::Vec2(visible.size.width / 2, visible.size.height / 2 + h / 2));
  sprite->setOpacity(64);
  addChild(sprite, Z_WATERMARK);
  watermark_ = sprite;
}

void MainScene::onExit() {
  eng::Scene::onExit();
  menus_->detach();
  unscheduleUpdate();
}

// --- rebuild ---------------------------------------------------------------------------------

MainScene::ModeKey MainScene::currentKey() const {
  return ModeKey{model_->common.spectrumMode, model_->spectrum.displayMode, model_->spectrum.band,
                 model_->spectrum.ssidEnabled};
}

namespace {
void releaseSlot(eng::RefPtr<eng::Node>& slot) {
  if (!slot) return;
  slot->removeFromParentAndCleanup(true);
  slot.reset();
}
template <class T>
void releaseTyped(eng::RefPtr<T>& slot) {
  if (!slot) return;
  slot->removeFromParentAndCleanup(true);
  slot.reset();
}
}  // namespace

void MainScene::releaseDisplayLayers() {
  releaseTyped(grid_);
  releaseTyped(overlay_);
  for (auto* slot : {&ssidMarkers_, &trace_, &waterfall_, &threshold_, &powerTrace_, &powerUI_, &cursors_,
                     &channelGuide_})
    releaseSlot(*slot);
}

eng::Node* MainScene::addDisplayLayer(eng::RefPtr<eng::Node>& slot, const DisplayLayerFactory::LayerCreator& creator,
                                      const LayerContext& context) {
  if (!creator) return nullptr;
  eng::Node* layer = creator(context);
  if (!layer) return nullptr;
  placeOn(layer, context.area);
  slot = layer;
  addChild(layer, Z_DISPLAY_LAYERS);
  return layer;
}

void MainScene::rebuildLayers() {
  ++rebuilds_;
  // 1.
  releaseDisplayLayers();
  // 2.
  const eng::Rect visible = visibleRect();
  const float h = menuBarHeightNow();
  const eng::Rect plot = plotArea(visible, h);
  const eng::Rect inner = innerPlotArea(visible, h);
  const int band = model_->currentBand();
  const bool band24 = band == BAND_2G4;
  const bool band5 = band == BAND_5G;
  const LayerContext context{*model_, inner, band24, band5};

  auto makeGrid = [&] {
    GridLayer* grid = GridLayer::create();
    if (!grid) return;
    placeOn(grid, plot);
    grid->regenerate();
    grid_ = grid;
    addChild(grid, Z_DISPLAY_LAYERS);
  };
  auto makeOverlay = [&](bool spectrumMode, bool waterfall) {
    OverlayLayer* overlay = OverlayLayer::create(*model_);
    if (!overlay) return;
    placeOn(overlay, inner);
    overlay->setFlags(spectrumMode, band24, band5, waterfall);
    overlay_ = overlay;
    addChild(overlay, Z_DISPLAY_LAYERS);
  };

  if (model_->isSpectrumMode()) {
    // 3.
    const int view = model_->spectrum.displayMode;
    if (view == 0) {
      makeGrid();
      addDisplayLayer(trace_, factory_.trace, context);
      if (model_->spectrum.ssidEnabled) addDisplayLayer(ssidMarkers_, factory_.ssidMarkers, context);
      addDisplayLayer(cursors_, factory_.cursors, context);
      addDisplayLayer(channelGuide_, factory_.channelGuide, context);
      makeOverlay(true, false);
    } else if (view == 1) {
      makeGrid();
      addDisplayLayer(waterfall_, factory_.waterfall, context);
      addDisplayLayer(cursors_, factory_.cursors, context);
      addDisplayLayer(threshold_, factory_.threshold, context);
      addDisplayLayer(channelGuide_, factory_.channelGuide, context);
      makeOverlay(true, true);
    }
  } else {
    // 4. The tables belong to spectrum mode. Hiding them (rather than only removing them) also
    // ends the utilisation table's edit mode, which would otherwise keep dropping scans.
    hideUtilizationTable();
    hideSSIDTable();
    makeGrid();
    addDisplayLayer(powerTrace_, factory_.powerTrace, context);
    addDisplayLayer(cursors_, factory_.cursors, context);
    addDisplayLayer(powerUI_, factory_.powerUI, context);
    makeOverlay(false, false);
  }
}

// --- per-frame step --------------------------------------------------------------------------

void MainScene::update(float dt) {
  // 1.
  dt_ = dt;
  eng::Scene::update(dt);
  AnalyzerModel& m = *model_;
  // 2.
  const bool connected = m.isConnected();
  menus_->setConnected(connected);
  if (m.runtime.modeChangedByDevice) {
    menus_->rebuildMenuBar();
    m.runtime.modeChangedByDevice = false;
  }
  // 3.
  if (watermark_) watermark_->setOpacity(connected ? 0 : WATERMARK_OPACITY_DISCONNECTED);
  // 4.
  if (m.isSpectrumMode() && m.spectrum.band == BAND_5G && !m.deviceInfo()->band2SpectrumCapable) {
    m.spectrum.band = BAND_2G4;
    menus_->showAlert("5.4 Ghz is not supported!!", "This accessory does not support 5GHz. Switching to 2.4Ghz view.",
                      "OK");
  }
  // 5.
  const ModeKey key = currentKey();
  if (needsLayout_ || !(key == lastKey_)) {
    rebuildLayers();
    needsLayout_ = false;
    lastKey_ = key;
  }
  // 6.
  applyGraticule();
  // 7.
  updateScaleLabels();
  // 8.
  const float f = std::clamp(menus_->slidePercent(), 0.0f, 100.0f) / 100.0f;
  layoutReadoutLabels(f, 1.0f - f);
  // 9.
  agingSeconds_ += dt;
  if ((ssidTable_ || utilizationTable_) && !m.runtime.apListFrozen && agingSeconds_ >= AGING_PERIOD_SECONDS) {
    agingSeconds_ = 0;
    ageAccessPoints();
  }
  // 10.
  if (m.runtime.apListChanged || m.runtime.apTableChanged) {
    refreshSSIDTable();
    refreshUtilizationTable();
    m.runtime.apListChanged = false;
    m.runtime.apTableChanged = false;
  }
  // 11.
  if (m.isSpectrumMode() && m.runtime.scanInProgress) {
    if (!isAcquiringIndicatorShown()) showAcquiringIndicator();
  } else {
    if (isAcquiringIndicatorShown()) hideAcquiringIndicator();
    if (m.runtime.scanInProgress) m.runtime.scanInProgress = false;
  }
}

void MainScene::applyGraticule() {
  if (!grid_) return;
  const int32_t bits = model_->graticule;
  for (int i = 0; i < GridLayer::SWITCH_COUNT; ++i) {
    const bool on = (bits >> i) & 1;
    if (grid_->getSwitch(i) != on) {
      grid_->setSwitch(i, on);
      grid_->regenerate();
    }
  }
}

void MainScene::ageAccessPoints() {
  // The entries' lastSeenMs are wall-clock milliseconds since 1970, like this clock.
  tarvo::ageAccessPoints(*model_, clock_->nowMs());
}

// --- label texts -----------------------------------------------------------------------------

void MainScene::updateScaleLabels() {
  const AnalyzerModel& m = *model_;
  const auto info = m.deviceInfo();
  const bool spectrumMode = m.isSpectrumMode();
  const int band = m.currentBand();
  auto visible = [this](Readout r) { return labels_[r] && labels_[r]->getOpacity() != 0; };

  if (visible(AMPLITUDE_SCALE)) {
    std::string text;
    if (spectrumMode && m.spectrum.displayMode == 1) {
      const int option = m.spectrum.waterfallOption;
      const float d = option == 1 ? 2.0f : (option == 2 ? 5.0f : 1.0f);
      const float t = float(info->packetsPerSweep(band)) * info->sweepPeriod(band) * (500.0f / d);
      text = "A:" + orDashes(t, formatSI(2, t)) + "s/div";
    } else {
      const float lo = spectrumMode ? info->minDbm(band) : info->powerMinDbm;
      const float hi = spectrumMode ? info->maxDbm(band) : info->powerMaxDbm;
      const float d = (hi - lo) / 8.0f;
      if (m.common.unitsMilliwatt != 0) {
        const float w = AnalyzerModel::dBmToMilliwatt(d) * 0.001f;
        text = "A:" + orDashes(w, formatSI(2, w)) + "W/div";
      } else {
        text = "A:" + orDashes(d, formatFixed2(d)) + "dBm/div";
      }
    }
    setText(labels_[AMPLITUDE_SCALE].get(), text);
  }

  if (visible(HORIZONTAL_SCALE)) {
    std::string text;
    if (spectrumMode) {
      const bool five = band == BAND_5G;
      const float start = five ? BAND_5G_START_MHZ : BAND_2G4_START_MHZ;
      const float stop = five ? BAND_5G_END_MHZ : BAND_2G4_END_MHZ;
      const float perDivision = (stop - start) * 1e6f / 10.0f;
      text = "Hz:" + formatSI(2, perDivision) + "Hz/div";
    } else {
      const float seconds = info->timebaseTable.empty() ? notAvailable() : m.secondsPerDivision();
      text = "T:" + orDashes(seconds, formatSI(0, seconds)) + "sec/div";
    }
    setText(labels_[HORIZONTAL_SCALE].get(), text);
  }

  if (!spectrumMode && visible(TRIGGER_STATE)) {
    std::string text;
    if (m.isRollMode()) {
      text = "";
    } else {
      switch (int32_t(m.runtime.triggerStatus)) {
        case 0:
          text = "TRIG";
          break;
        case 1:
          text = m.power.triggerAuto ? "AUTO" : "TRIG?";
          break;
        default:
          text = "TRIG?";
          break;
      }
    }
    setText(labels_[TRIGGER_STATE].get(), text);
  }

  if (factory_.cursorLabels && m.cursors.cursorsShown) {
    bool anyVisible = false;
    for (int r = CURSOR_X_POSITION; r <= CURSOR_Y_DIFFERENCE_3; ++r) anyVisible = anyVisible || visible(Readout(r));
    if (anyVisible) {
      const CursorLabels set{labels_[CURSOR_X_POSITION].get(),
                             labels_[CURSOR_X_DIFFERENCE].get(),
                             {labels_[CURSOR_Y_POSITION_1].get(), labels_[CURSOR_Y_POSITION_2].get(),
                              labels_[CURSOR_Y_POSITION_3].get()},
                             {labels_[CURSOR_Y_DIFFERENCE_1].get(), labels_[CURSOR_Y_DIFFERENCE_2].get(),
                              labels_[CURSOR_Y_DIFFERENCE_3].get()}};
      factory_.cursorLabels(*model_, set);
    }
  }
}

// --- label layout ----------------------------------------------------------------------------

void MainScene::layoutReadoutLabels(float /*f*/, float v) {
  if (!labels_[AMPLITUDE_SCALE]) return;
  const eng::Rect visibleArea = visibleRect();
  const float h = menuBarHeightNow();
  if (!g_widths.measured) {
    const std::string font = labels_[AMPLITUDE_SCALE]->getFontFile();
    const float size = labels_[AMPLITUDE_SCALE]->getFontSize();
    g_widths.A = measure("A:XX.XXdBm/div", font, size);
    g_widths.Hz = measure("Hz:XX.XXGHz/div", font, size);
    g_widths.TRIG = measure("TRIG?", font, size);
    g_widths.X = std::max(measure("@Hz: 2500 MHz", font, size), measure("\xCE\x94Hz: 2500 MHz", font, size));
    g_widths.Ypos = measure("@dBm: -XXX.XX0dBm", font, size);
    g_widths.Ydiff = measure("\xCE\x94" "dBm: -XXX.XXdBm", font, size);
    g_widths.Y = std::max(g_widths.Ypos, g_widths.Ydiff);
    g_widths.measured = true;
  }
  const MeasuringWidths& w = g_widths;
  const AnalyzerModel& m = *model_;
  const float W = visibleArea.size.width - menus_->flyInButtonWidth();
  const float x0 = visibleArea.origin.x;
  const float y0 = visibleArea.origin.y;
  const uint8_t shownOpacity = static_cast<uint8_t>(std::trunc(255.0f * std::clamp(v, 0.0f, 1.0f)));

  bool shown[READOUT_COUNT] = {};
  auto place = [&](Readout r, float x, float y) {
    if (!labels_[r]) return;
    shown[r] = true;
    labels_[r]->setAnchorPoint({0.5f, 0.5f});
    labels_[r]->setPosition({x0 + x, y0 + y});
  };
  // A column of one to three labels, stacked from the top of the strip.
  // A column of up to three labels stacked in the strip. Fixed-size, so a frame allocates nothing.
  struct Column {
    float width = 0;
    std::array<Readout, 3> labels{};
    size_t count = 0;
    Column() = default;
    Column(float w, std::initializer_list<Readout> l) : width(w) {
      for (Readout r : l) add(r);
    }
    void add(Readout r) {
      if (count < labels.size()) labels[count++] = r;
    }
  };
  auto layoutColumns = [&](std::initializer_list<Column> columns) {
    float sum = 0;
    for (const Column& c : columns) sum += c.width;
    const float gap = std::max(0.0f, (W - sum) / float(columns.size() + 1));
    float x = gap;
    for (const Column& c : columns) {
      const float centre = x + c.width / 2;
      static const float heights[4][3] = {{0, 0, 0}, {0.5f, 0, 0}, {0.75f, 0.25f, 0}, {0.75f, 0.5f, 0.25f}};
      for (size_t i = 0; i < c.count; ++i) place(c.labels[i], centre, heights[c.count][i] * h);
      x += c.width + gap;
    }
  };

  const bool spectrumMode = m.isSpectrumMode();
  const bool waterfall = spectrumMode && m.spectrum.displayMode == 1;
  // X cursors (the vertical pair of lines) unless the cursor menu selected the Y pair.
  const bool xCursors = m.cursors.cursorSelect != 0 || m.cursors.cursorFlag == 0;

  if (!m.cursors.cursorsShown) {
    // The scale labels hug the strip's ends at 5 points whatever their current text.
    const float aWidth = labels_[AMPLITUDE_SCALE]->getContentSize().width;
    place(AMPLITUDE_SCALE, 5 + aWidth / 2, h / 2);
    if (labels_[HORIZONTAL_SCALE])
      place(HORIZONTAL_SCALE, W - 5 - labels_[HORIZONTAL_SCALE]->getContentSize().width / 2, h / 2);
    if (!spectrumMode) place(TRIGGER_STATE, W / 2, h / 2);
  } else if (!spectrumMode) {
    const float cw = std::max(w.X, w.Y);
    if (xCursors) {
      layoutColumns({{w.A, {AMPLITUDE_SCALE}},
                     {cw, {CURSOR_X_POSITION, CURSOR_Y_POSITION_1}},
                     {w.TRIG, {TRIGGER_STATE}},
                     {cw, {CURSOR_X_DIFFERENCE, CURSOR_Y_DIFFERENCE_1}},
                     {w.Hz, {HORIZONTAL_SCALE}}});
    } else {
      layoutColumns({{w.A, {AMPLITUDE_SCALE}},
                     {cw, {CURSOR_Y_POSITION_1}},
                     {w.TRIG, {TRIGGER_STATE}},
                     {cw, {CURSOR_Y_DIFFERENCE_1}},
                     {w.Hz, {HORIZONTAL_SCALE}}});
    }
  } else if (waterfall) {
    layoutColumns({{w.A, {AMPLITUDE_SCALE}},
                   {w.Y, {CURSOR_Y_POSITION_1, CURSOR_Y_DIFFERENCE_1}},
                   {w.X, {CURSOR_X_POSITION, CURSOR_X_DIFFERENCE}},
                   {w.Hz, {HORIZONTAL_SCALE}}});
  } else if (!xCursors) {
    layoutColumns({{w.A, {AMPLITUDE_SCALE}},
                   {w.Ypos, {CURSOR_Y_POSITION_1}},
                   {w.Ydiff, {CURSOR_Y_DIFFERENCE_1}},
                   {w.Hz, {HORIZONTAL_SCALE}}});
  } else {
    // One amplitude row per trace slot that draws a trace.
    Column yPos(w.Ypos, {}), yDiff(w.Ydiff, {});
    Readout firstPos = CURSOR_Y_POSITION_1, firstDiff = CURSOR_Y_DIFFERENCE_1;
    for (int s = 0; s < 3; ++s) {
      if (!isCursorTraceRow(sanitizeTraceType(m.spectrum.traceTypes[s]))) continue;
      if (yPos.count == 0) {
        firstPos = Readout(CURSOR_Y_POSITION_1 + 2 * s);
        firstDiff = Readout(CURSOR_Y_DIFFERENCE_1 + 2 * s);
      }
      yPos.add(Readout(CURSOR_Y_POSITION_1 + 2 * s));
      yDiff.add(Readout(CURSOR_Y_DIFFERENCE_1 + 2 * s));
    }
    const float sixWidths = w.Ypos + w.A + w.X + w.Ydiff + w.X + w.Hz;
    if (menus_->isWide() && sixWidths <= W) {
      layoutColumns({{w.A, {AMPLITUDE_SCALE}},
                     yPos,
                     {w.X, {CURSOR_X_POSITION}},
                     yDiff,
                     {w.X, {CURSOR_X_DIFFERENCE}},
                     {w.Hz, {HORIZONTAL_SCALE}}});
    } else if (yPos.count == 1) {
      layoutColumns({{w.A, {AMPLITUDE_SCALE}},
                     {w.X, {CURSOR_X_POSITION, CURSOR_X_DIFFERENCE}},
                     {w.Y, {firstPos, firstDiff}},
                     {w.Hz, {HORIZONTAL_SCALE}}});
    } else {
      yPos.width = yDiff.width = w.Y;
      layoutColumns({{std::max(w.Hz, w.Y), {AMPLITUDE_SCALE, HORIZONTAL_SCALE}},
                     {w.X, {CURSOR_X_POSITION, CURSOR_X_DIFFERENCE}},
                     yPos,
                     yDiff});
    }
  }

  for (int r = 0; r < READOUT_COUNT; ++r)
    if (labels_[r]) labels_[r]->setOpacity(shown[r] ? shownOpacity : 0);
}

// --- tables ----------------------------------------------------------------------------------

void MainScene::showSSIDTable() {
  if (utilizationTable_) releaseSlot(utilizationTable_);
  if (ssidTable_ || !factory_.ssidTable) return;
  if (eng::Node* table = factory_.ssidTable(*model_)) {
    ssidTable_ = table;
    addChild(table, Z_TABLES);
  }
}

void MainScene::hideSSIDTable() {
  releaseSlot(ssidTable_);
  model_->runtime.apListFrozen = false;
  ModelLock lock(*model_, LOCK_AP_LIST);
  resetScanStatistics(*model_);
}

void MainScene::showUtilizationTable() {
  hideSSIDTable();
  if (utilizationTable_ || !factory_.utilizationTable) return;
  if (eng::Node* table = factory_.utilizationTable(*model_)) {
    utilizationTable_ = table;
    addChild(table, Z_TABLES);
  }
}

void MainScene::hideUtilizationTable() { releaseSlot(utilizationTable_); }

void MainScene::refreshTable(eng::Node* table, int sortKey, bool descending) {
  if (!table) return;
  ModelLock lock(*model_, LOCK_AP_LIST);
  sortAccessPoints(*model_, sortKey, descending);
  if (auto* reloadable = dynamic_cast<ReloadableTable*>(table)) reloadable->reloadRows();
}

void MainScene::refreshSSIDTable() {
  refreshTable(ssidTable_.get(), model_->spectrum.ssidSortKey, model_->spectrum.ssidSortDescending != 0);
}

void MainScene::refreshUtilizationTable() {
  refreshTable(utilizationTable_.get(), model_->spectrum.utilizationSortKey,
               model_->spectrum.utilizationSortDescending != 0);
}

// --- acquiring indicator ---------------------------------------------------------------------

void MainScene::showAcquiringIndicator() {
  if (isAcquiringIndicatorShown()) return;
  const int sizeClass = model_->runtime.displaySizeClass;
  const float h = menuBarHeightNow();
  float fontSize = h * 0.25f;
  if (sizeClass == 0 || sizeClass == 3) fontSize = 16;
  if (sizeClass == 1 || sizeClass == 2) fontSize = 17;
  const eng::Rect visible = visibleRect();

  eng::Label* label = eng::Label::createWithTTF("Acquiring SSID", READOUT_FONT, fontSize);
  if (!label) return;
  label->setAnchorPoint({1.0f, 0.5f});
  label->setPosition({visible.getMaxX() - 5, visible.getMaxY() - fontSize / 2 - 1});
  const float labelLeft = label->getPosition().x - label->getContentSize().width;
  const float centreY = label->getPosition().y;

  eng::Sprite* outer = eng::Sprite::create("OuterWheel.png");
  eng::Sprite* inner = eng::Sprite::create("InnerWheel.png");
  const float outerWidth = outer ? outer->getContentSize().width : 0.0f;
  const eng::Vec2 wheelCentre(labelLeft - 5 - outerWidth / 2, centreY);

  const float left = wheelCentre.x - outerWidth / 2 - 5;
  eng::LayerColor* background =
      eng::LayerColor::create(eng::Color4B(26, 26, 26, 166), visible.getMaxX() - left, fontSize);
  background->setAnchorPoint({0, 0});
  background->setPosition({left, centreY - fontSize / 2});
  addChild(background, Z_INDICATOR);
  indicatorBackground_ = background;

  if (outer) {
    outer->setAnchorPoint({0.5f, 0.5f});
    outer->setPosition(wheelCentre);
    outer->runAction(eng::RepeatForever::create(eng::RotateBy::create(1.5f, 360.0f)));
    addChild(outer, Z_INDICATOR);
    outerWheel_ = outer;
  }
  if (inner) {
    inner->setAnchorPoint({0.5f, 0.5f});
    inner->setPosition(wheelCentre);
    inner->runAction(eng::RepeatForever::create(eng::RotateBy::create(2.0f, -360.0f)));
    addChild(inner, Z_INDICATOR);
    innerWheel_ = inner;
  }
  addChild(label, Z_INDICATOR);
  indicatorLabel_ = label;
}

void MainScene::hideAcquiringIndicator() {
  for (auto* slot : {&indicatorBackground_, &outerWheel_, &innerWheel_, &indicatorLabel_}) releaseSlot(*slot);
}

// --- resize ----------------------------------------------------------------------------------

void MainScene::visit(eng::Renderer& renderer, const eng::Mat4& parentTransform, uint32_t flags) {
  const eng::Size newSize = eng::Director::getInstance()->getVisibleSize();
  if (!(newSize == getContentSize())) onResize(newSize);
  eng::Scene::visit(renderer, parentTransform, flags);
}

void MainScene::onResize(eng::Size newSize) {
  AnalyzerModel& m = *model_;
  const eng::Size oldSize = getContentSize();
  const float h = menuBarHeightNow();
  // 1.
  const bool barFullyOut = menus_->slidePercent() == 100.0f;
  // 2.
  setContentSize(newSize);
  // 3. The traces are redrawn and the heat maps and waterfalls start over at the new size.
  if (m.isSpectrumMode()) {
    ModelLock lock(m, LOCK_SPECTRUM);
    m.band24.tracesProcessed = true;
    m.band5.tracesProcessed = true;
    for (SpectrumStore* store : {&m.band24, &m.band5}) {
      if (!store->heatMapDirty) store->heatMapAccumulated = true;
      store->heatMapDirty = true;
      store->heatMapChanged = true;
    }
  }
  // 4.
  const eng::Rect visible = visibleRect();
  if (watermark_)
    watermark_->setPosition(visible.origin + eng::Vec2(newSize.width / 2, newSize.height / 2));
  // 5. Cursor positions: X1, X2, Y1, Y2, Y ref 1, Y ref 2, X ref 1, X ref 2.
  if (oldSize.width > 0 && oldSize.height - h > 0 && newSize.height - h > 0) {
    const float sx = newSize.width / oldSize.width;
    const float sy = (newSize.height - h) / (oldSize.height - h);
    static constexpr bool horizontal[8] = {true, true, false, false, false, false, true, true};
    for (int i = 0; i < 8; ++i) m.cursors.cursorPositions[i] = m.cursors.cursorPositions[i] * (horizontal[i] ? sx : sy);
  }
  // 6.
  menus_->detach();
  menus_->attach(this);
  if (!barFullyOut) menus_->retractImmediately();
  // 7.
  if (ssidTable_) {
    hideSSIDTable();
    showSSIDTable();
  }
  if (utilizationTable_) {
    releaseSlot(utilizationTable_);
    hideSSIDTable();
    showUtilizationTable();
  }
  // 8.
  needsLayout_ = true;
}

}  // namespace tarvo
