// The main scene on the deterministic frame step: when it rebuilds, what it builds, the
// watermark, the 5 GHz guard, aging, label texts and layout, graticule changes and resizes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "DisplayFixture.h"
#include "core/ValueFormat.h"

using namespace tarvo;
using displaytest::FakeTable;
using displaytest::SceneTest;

namespace {

DeviceInfo dualBand() {
  DeviceInfo info;
  info.band1SpectrumCapable = true;
  info.band2SpectrumCapable = true;
  return info;
}

}  // namespace

// --- rebuild cycle ---------------------------------------------------------------------------

TEST_F(SceneTest, RebuildsOnFirstFrameAndNeverOnSteadyFrames) {
  MainScene* s = runScene();
  const uint64_t afterEnter = s->rebuildCount();
  frames(1);
  EXPECT_EQ(s->rebuildCount(), afterEnter + 1) << "the first frame rebuilds (needs-layout starts set)";
  frames(120);
  EXPECT_EQ(s->rebuildCount(), afterEnter + 1) << "two seconds of steady frames";
}

TEST_F(SceneTest, EachChangeOfTheModeKeyRebuildsOnce) {
  model.setDeviceInfo(dualBand());
  MainScene* s = runScene();
  frames(2);
  struct Row {
    const char* name;
    std::function<void(AnalyzerModel&)> change;
  };
  const Row rows[] = {
      {"spectrumMode off", [](AnalyzerModel& m) { m.common.spectrumMode = 0; }},
      {"spectrumMode on", [](AnalyzerModel& m) { m.common.spectrumMode = 1; }},
      {"waterfall view", [](AnalyzerModel& m) { m.spectrum.displayMode = 1; }},
      {"trace view", [](AnalyzerModel& m) { m.spectrum.displayMode = 0; }},
      {"5 GHz band", [](AnalyzerModel& m) { m.spectrum.band = BAND_5G; }},
      {"2.4 GHz band", [](AnalyzerModel& m) { m.spectrum.band = BAND_2G4; }},
      {"SSID markers off", [](AnalyzerModel& m) { m.spectrum.ssidEnabled = 0; }},
      {"SSID markers on", [](AnalyzerModel& m) { m.spectrum.ssidEnabled = 1; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const uint64_t before = s->rebuildCount();
    row.change(model);
    frames(1);
    EXPECT_EQ(s->rebuildCount(), before + 1);
    frames(30);
    EXPECT_EQ(s->rebuildCount(), before + 1);
  }
}

TEST_F(SceneTest, SettingsOutsideTheModeKeyDoNotRebuild) {
  MainScene* s = runScene();
  frames(2);
  const uint64_t before = s->rebuildCount();
  model.common.unitsMilliwatt = 1;
  model.cursors.cursorsShown = 1;
  model.graticule = 5;
  model.spectrum.traceTypes[1] = TRACE_MAX_HOLD;
  model.setConnected(true);
  frames(10);
  EXPECT_EQ(s->rebuildCount(), before);
}

TEST_F(SceneTest, ResizeRebuildsOnTheNextFrameOnly) {
  MainScene* s = runScene();
  frames(2);
  const uint64_t before = s->rebuildCount();
  eng::Director::getInstance()->setDesignSize(eng::Size(1280, 800));
  frames(1);  // visit notices the resize after this frame's update
  EXPECT_EQ(s->rebuildCount(), before);
  frames(1);
  EXPECT_EQ(s->rebuildCount(), before + 1);
  frames(30);
  EXPECT_EQ(s->rebuildCount(), before + 1);
  // The new grid covers the plot area of the new size.
  EXPECT_EQ(s->grid()->getContentSize(), eng::Size(1280, 800 - 75));
}

// --- what a rebuild builds -------------------------------------------------------------------

TEST_F(SceneTest, LayersOfEachViewInDrawOrder) {
  struct Row {
    const char* name;
    int spectrumMode, displayMode, ssidEnabled;
    std::vector<std::string> order;
  };
  const Row rows[] = {
      {"trace view", 1, 0, 1, {"grid", "trace", "ssid", "cursors", "guide", "overlay"}},
      {"trace view without markers", 1, 0, 0, {"grid", "trace", "cursors", "guide", "overlay"}},
      {"waterfall view", 1, 1, 1, {"grid", "waterfall", "cursors", "threshold", "guide", "overlay"}},
      {"power mode", 0, 0, 1, {"grid", "power", "cursors", "powerUI", "overlay"}},
      {"unknown view", 1, 7, 1, {}},
  };
  MainScene* s = runScene();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    model.common.spectrumMode = row.spectrumMode;
    model.spectrum.displayMode = row.displayMode;
    model.spectrum.ssidEnabled = row.ssidEnabled;
    frames(1);
    EXPECT_EQ(displayLayerOrder(s), row.order);
  }
}

TEST_F(SceneTest, LayersSitOnTheInnerPlotAreaAndTheGridOnThePlotArea) {
  MainScene* s = runScene();
  frames(1);
  ASSERT_TRUE(s->grid());
  EXPECT_EQ(s->grid()->getPosition(), eng::Vec2(0, 75));
  EXPECT_EQ(s->grid()->getContentSize(), eng::Size(960, 565));
  EXPECT_EQ(lastArea, eng::Rect(1, 76, 958, 563));
  EXPECT_EQ(s->overlay()->getPosition(), eng::Vec2(1, 76));
  EXPECT_EQ(s->overlay()->getContentSize(), eng::Size(958, 563));
  EXPECT_TRUE(s->overlay()->spectrumMode());
  EXPECT_TRUE(s->overlay()->band24());
  EXPECT_FALSE(s->overlay()->waterfall());
}

TEST_F(SceneTest, WithoutFactoryEntriesOnlyGridAndOverlayAreBuilt) {
  factory = DisplayLayerFactory{};
  MainScene* s = runScene();
  frames(1);
  EXPECT_EQ(displayLayerOrder(s), (std::vector<std::string>{"grid", "overlay"}));
}

TEST_F(SceneTest, TogglingSsidMarkersKeepsTheSsidTable) {
  MainScene* s = runScene();
  frames(1);
  s->showSSIDTable();
  eng::Node* table = s->ssidTable();
  ASSERT_TRUE(table);
  model.spectrum.ssidEnabled = 0;
  frames(1);
  EXPECT_EQ(s->ssidTable(), table);
  EXPECT_EQ(table->getParent(), s);
  EXPECT_FALSE(s->ssidMarkerLayer());
}

TEST_F(SceneTest, EnteringPowerModeClosesTheTables) {
  MainScene* s = runScene();
  frames(1);
  s->showUtilizationTable();
  model.runtime.apListFrozen = true;  // the utilisation table's edit mode
  ASSERT_TRUE(s->utilizationTable());
  model.common.spectrumMode = 0;
  frames(1);
  EXPECT_FALSE(s->ssidTable());
  EXPECT_FALSE(s->utilizationTable());
  EXPECT_FALSE(model.runtime.apListFrozen) << "scans would stay dropped with no table left to end edit mode";
}

// --- watermark and 5 GHz guard ---------------------------------------------------------------

TEST_F(SceneTest, WatermarkShowsOnlyWithoutAnAccessory) {
  MainScene* s = runScene();
  ASSERT_TRUE(s->watermark()) << "demo.png from the build tree's resources";
  EXPECT_EQ(s->watermark()->getLocalZOrder(), 65);
  EXPECT_EQ(s->watermark()->getPosition(), eng::Vec2(480, 320 + 37.5f)) << "centred on the plot area";
  frames(1);
  EXPECT_EQ(s->watermark()->getOpacity(), 65);
  model.setConnected(true);
  frames(1);
  EXPECT_EQ(s->watermark()->getOpacity(), 0);
  EXPECT_TRUE(menus.connected);
  model.setConnected(false);
  frames(1);
  EXPECT_EQ(s->watermark()->getOpacity(), 65);
}

TEST_F(SceneTest, FiveGigahertzOnASingleBandAccessoryFallsBackInTheSameFrame) {
  DeviceInfo single;
  single.band1SpectrumCapable = true;
  model.setDeviceInfo(single);
  MainScene* s = runScene();
  frames(2);
  const uint64_t before = s->rebuildCount();
  model.spectrum.band = BAND_5G;
  frames(1);
  EXPECT_EQ(int(model.spectrum.band), BAND_2G4);
  EXPECT_EQ(s->rebuildCount(), before) << "the band reads 2.4 GHz again before the key is compared";
  EXPECT_TRUE(s->overlay()->band24());
  ASSERT_EQ(menus.alerts.size(), 1u);
  EXPECT_EQ(menus.alerts[0],
            "5.4 Ghz is not supported!!|This accessory does not support 5GHz. Switching to 2.4Ghz view.|OK");
  frames(10);
  EXPECT_EQ(menus.alerts.size(), 1u);
}

TEST_F(SceneTest, ModeChangedByTheDeviceRebuildsTheMenuBar) {
  runScene();
  frames(1);
  model.runtime.modeChangedByDevice = true;
  frames(2);
  EXPECT_EQ(menus.rebuilds, 1);
  EXPECT_FALSE(model.runtime.modeChangedByDevice);
}

// --- aging -----------------------------------------------------------------------------------

class AgingTest : public SceneTest {
 protected:
  void addAccessPoint(uint8_t id, int64_t lastSeenMs) {
    auto ap = std::make_unique<AccessPoint>();
    ap->bssid = {0, 0, 0, 0, 0, id};
    ap->lastSeenMs = lastSeenMs;
    model.accessPoints.push_back(std::move(ap));
  }
  std::vector<int> ids() {
    std::vector<int> out;
    for (auto& ap : model.accessPoints) out.push_back(ap->bssid[5]);
    return out;
  }
};

TEST_F(AgingTest, EntriesSeen180000MsAgoGoAndThoseSeen179999MsAgoStay) {
  MainScene* s = runScene();
  frames(1);
  s->showSSIDTable();
  // Ten seconds of frames end exactly when the clock reads "now".
  const int64_t now = clock.nowMs() + 10000;
  addAccessPoint(1, now - 180000);
  addAccessPoint(2, now - 179999);
  addAccessPoint(3, now - 200000);
  clock.setMs(now);
  frames(99, 0.1f);
  EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3})) << "not yet 10 s";
  frames(2, 0.1f);
  EXPECT_EQ(ids(), (std::vector<int>{2}));
}

TEST_F(AgingTest, WithNeitherTableOpenNothingIsAged) {
  runScene();
  frames(1);
  addAccessPoint(1, clock.nowMs() - 500000);
  frames(300, 0.1f);
  EXPECT_EQ(ids(), (std::vector<int>{1}));
}

TEST_F(AgingTest, EditModeOfTheUtilisationTableStopsAging) {
  MainScene* s = runScene();
  frames(1);
  s->showUtilizationTable();
  model.runtime.apListFrozen = true;
  addAccessPoint(1, clock.nowMs() - 500000);
  frames(300, 0.1f);
  EXPECT_EQ(ids(), (std::vector<int>{1}));
  model.runtime.apListFrozen = false;
  frames(2, 0.1f);
  EXPECT_TRUE(ids().empty());
}

TEST_F(AgingTest, ChangedListReloadsTheOpenTableOncePerChange) {
  MainScene* s = runScene();
  frames(1);
  s->showSSIDTable();
  auto* table = dynamic_cast<FakeTable*>(s->ssidTable());
  ASSERT_TRUE(table);
  frames(1);
  const int before = table->reloads;
  model.runtime.apListChanged = true;
  frames(5);
  EXPECT_EQ(table->reloads, before + 1);
  EXPECT_FALSE(model.runtime.apListChanged);
}

// --- label texts -----------------------------------------------------------------------------

TEST_F(SceneTest, ScaleLabelTexts) {
  DeviceInfo withTimebase = dualBand();
  withTimebase.timebaseTable = {0.001f, 0.01f, 0.1f};
  withTimebase.rollTimebaseCount = 0;
  struct Row {
    const char* name;
    DeviceInfo info;
    std::function<void(AnalyzerModel&)> set;
    const char* amplitude;
    const char* horizontal;
  };
  const Row rows[] = {
      {"2.4 GHz trace", dualBand(), [](AnalyzerModel&) {}, "A:10.00dBm/div", "Hz:10.00 MHz/div"},
      {"5 GHz trace", dualBand(), [](AnalyzerModel& m) { m.spectrum.band = BAND_5G; }, "A:10.00dBm/div",
       "Hz:71.50 MHz/div"},
      {"milliwatt units", dualBand(), [](AnalyzerModel& m) { m.common.unitsMilliwatt = 1; }, "A:10.00 mW/div",
       "Hz:10.00 MHz/div"},
      {"waterfall", dualBand(), [](AnalyzerModel& m) { m.spectrum.displayMode = 1; }, "A:50.00 s/div",
       "Hz:10.00 MHz/div"},
      {"waterfall zoom 2", dualBand(),
       [](AnalyzerModel& m) {
         m.spectrum.displayMode = 1;
         m.spectrum.waterfallOption = 1;
       },
       "A:25.00 s/div", "Hz:10.00 MHz/div"},
      {"waterfall zoom 5", dualBand(),
       [](AnalyzerModel& m) {
         m.spectrum.displayMode = 1;
         m.spectrum.waterfallOption = 2;
       },
       "A:10.00 s/div", "Hz:10.00 MHz/div"},
      {"power without a time table", dualBand(), [](AnalyzerModel& m) { m.common.spectrumMode = 0; },
       "A:5.00dBm/div", "T:--sec/div"},
      {"power at 10 ms", withTimebase,
       [](AnalyzerModel& m) {
         m.common.spectrumMode = 0;
         m.power.timebaseIndex = 1;
       },
       "A:5.00dBm/div", "T:10 msec/div"},
      {"power index past the table", withTimebase,
       [](AnalyzerModel& m) {
         m.common.spectrumMode = 0;
         m.power.timebaseIndex = 40;
       },
       "A:5.00dBm/div", "T:100 msec/div"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    model.resetSettings();
    model.setDeviceInfo(row.info);
    row.set(model);
    eng::Director::getInstance()->reset();
    eng::Director::getInstance()->initHeadless(eng::Size(960, 640));
    MainScene* s = runScene();
    frames(2);
    EXPECT_EQ(s->readoutLabel(MainScene::AMPLITUDE_SCALE)->getString(), row.amplitude);
    EXPECT_EQ(s->readoutLabel(MainScene::HORIZONTAL_SCALE)->getString(), row.horizontal);
  }
}

TEST_F(SceneTest, AmplitudeRangeThatIsNotANumberShowsDashes) {
  DeviceInfo info = dualBand();
  info.band1MinDbm = notAvailable();
  model.setDeviceInfo(info);
  MainScene* s = runScene();
  frames(2);
  EXPECT_EQ(s->readoutLabel(MainScene::AMPLITUDE_SCALE)->getString(), "A:--dBm/div");
}

TEST_F(SceneTest, TriggerLabelFollowsTheTriggerStatus) {
  DeviceInfo info = dualBand();
  info.timebaseTable = {0.001f, 0.01f, 0.1f, 1.0f};
  info.rollTimebaseCount = 1;  // index 0 is the roll time base, 1..3 are triggered
  model.setDeviceInfo(info);
  model.common.spectrumMode = 0;
  model.power.timebaseIndex = 1;
  MainScene* s = runScene();
  struct Row {
    const char* name;
    int status;
    int automatic;
    int timebase;
    const char* text;
  };
  const Row rows[] = {
      {"triggered", 0, 1, 1, "TRIG"},       {"10 s without, auto", 1, 1, 1, "AUTO"},
      {"10 s without, normal", 1, 0, 1, "TRIG?"}, {"2 s without", 2, 1, 1, "TRIG?"},
      {"roll time base", 0, 1, 0, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    model.runtime.triggerStatus = row.status;
    model.power.triggerAuto = uint8_t(row.automatic);
    model.power.timebaseIndex = row.timebase;
    frames(1);
    EXPECT_EQ(s->readoutLabel(MainScene::TRIGGER_STATE)->getString(), row.text);
  }
}

// --- label layout ----------------------------------------------------------------------------

TEST_F(SceneTest, WithCursorsOffTheScaleLabelsKeepFivePointsFromTheEdges) {
  DeviceInfo info = dualBand();
  info.timebaseTable = {0.001f, 0.01f, 0.1f};
  model.setDeviceInfo(info);
  MainScene* s = runScene();
  struct Row {
    const char* name;
    int spectrumMode, band;
  };
  const Row rows[] = {{"2.4 GHz", 1, BAND_2G4}, {"5 GHz", 1, BAND_5G}, {"power", 0, BAND_2G4}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    model.common.spectrumMode = row.spectrumMode;
    model.spectrum.band = row.band;
    frames(2);
    const eng::Rect hz = s->readoutLabel(MainScene::HORIZONTAL_SCALE)->getBoundingBox();
    const eng::Rect a = s->readoutLabel(MainScene::AMPLITUDE_SCALE)->getBoundingBox();
    EXPECT_NEAR(hz.getMaxX(), 960 - 5, 0.01);
    EXPECT_NEAR(a.getMinX(), 5, 0.01);
    EXPECT_NEAR(hz.getMidY(), 37.5, 0.01);
  }
}

TEST_F(SceneTest, HorizontalLabelClearsTheFlyInTab) {
  menus.tabWidth = 40;
  MainScene* s = runScene();
  frames(2);
  EXPECT_NEAR(s->readoutLabel(MainScene::HORIZONTAL_SCALE)->getBoundingBox().getMaxX(), 960 - 40 - 5, 0.01);
}

TEST_F(SceneTest, LabelOpacityFollowsTheMenuBarSlide) {
  MainScene* s = runScene();
  menus.slide = 100;
  frames(2);
  for (int r = 0; r < MainScene::READOUT_COUNT; ++r)
    EXPECT_EQ(s->readoutLabel(MainScene::Readout(r))->getOpacity(), 0) << "label " << r;
  menus.slide = 0;
  frames(1);
  EXPECT_EQ(s->readoutLabel(MainScene::AMPLITUDE_SCALE)->getOpacity(), 255);
  EXPECT_EQ(s->readoutLabel(MainScene::HORIZONTAL_SCALE)->getOpacity(), 255);
  EXPECT_EQ(s->readoutLabel(MainScene::TRIGGER_STATE)->getOpacity(), 0) << "spectrum mode has no trigger";
  EXPECT_EQ(s->readoutLabel(MainScene::CURSOR_X_POSITION)->getOpacity(), 0) << "cursors are off";
  menus.slide = 50;
  frames(1);
  EXPECT_EQ(s->readoutLabel(MainScene::AMPLITUDE_SCALE)->getOpacity(), 127);
}

TEST_F(SceneTest, CursorRowsFollowTheTraceSlots) {
  model.cursors.cursorsShown = 1;
  model.cursors.cursorSelect = 1;
  menus.wide = false;  // the stacked layouts
  MainScene* s = runScene();
  auto shown = [s](MainScene::Readout r) { return s->readoutLabel(r)->getOpacity() != 0; };
  struct Row {
    const char* name;
    uint8_t types[3];
    bool rows[3];
  };
  const Row rows[] = {
      {"heat map only", {TRACE_HEAT_MAP, 0, 0}, {false, false, false}},
      {"one trace", {TRACE_RAW, 0, 0}, {true, false, false}},
      {"slots 1 and 3", {TRACE_RAW, 0, TRACE_MAX_HOLD}, {true, false, true}},
      {"three traces", {TRACE_RAW, TRACE_DECAY, TRACE_AVERAGE}, {true, true, true}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (int i = 0; i < 3; ++i) model.spectrum.traceTypes[i] = row.types[i];
    frames(1);
    EXPECT_TRUE(shown(MainScene::CURSOR_X_POSITION));
    EXPECT_TRUE(shown(MainScene::CURSOR_X_DIFFERENCE));
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(shown(MainScene::Readout(MainScene::CURSOR_Y_POSITION_1 + 2 * i)), row.rows[i]) << "row " << i + 1;
      EXPECT_EQ(shown(MainScene::Readout(MainScene::CURSOR_Y_DIFFERENCE_1 + 2 * i)), row.rows[i]) << "row " << i + 1;
    }
  }
}

TEST_F(SceneTest, CursorColumnsStayInsideTheStrip) {
  model.cursors.cursorsShown = 1;
  MainScene* s = runScene();
  struct Row {
    const char* name;
    int spectrumMode, displayMode, select;
  };
  const Row rows[] = {{"trace, X cursors", 1, 0, 1},
                      {"trace, Y cursors", 1, 0, 0},
                      {"waterfall", 1, 1, 1},
                      {"power, X cursors", 0, 0, 1},
                      {"power, Y cursors", 0, 0, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    model.common.spectrumMode = row.spectrumMode;
    model.spectrum.displayMode = row.displayMode;
    model.cursors.cursorSelect = uint8_t(row.select);
    model.cursors.cursorFlag = uint8_t(1 - row.select);
    frames(2);
    float lastMid = -1;
    for (int r = 0; r < MainScene::READOUT_COUNT; ++r) {
      eng::Label* l = s->readoutLabel(MainScene::Readout(r));
      if (l->getOpacity() == 0) continue;
      const eng::Rect b = l->getBoundingBox();
      EXPECT_GE(b.getMinX(), 0) << "label " << r;
      EXPECT_LE(b.getMaxX(), 960) << "label " << r;
      EXPECT_GT(b.getMinY(), 0) << "label " << r;
      EXPECT_LT(b.getMaxY(), 75) << "label " << r;
      lastMid = b.getMidX();
    }
    EXPECT_GT(lastMid, 0);
  }
}

// --- graticule -------------------------------------------------------------------------------

TEST_F(SceneTest, GraticuleSwitchChangesRegenerateTheGrid) {
  MainScene* s = runScene();
  frames(1);
  GridLayer* grid = s->grid();
  ASSERT_TRUE(grid);
  // Minor grid 41 + 51 lines, major grid 9 + 11, minor ticks 2 × 51 + 3 × 41, major ticks
  // 2 × 11 + 3 × 9, crosshair 1, border 4: two vertices per line.
  EXPECT_EQ(grid->drawNode()->lineVertexCount(), 2u * (92 + 20 + 225 + 49 + 1 + 4));
  const uint64_t steady = grid->regenerationCount();
  frames(10);
  EXPECT_EQ(grid->regenerationCount(), steady) << "no regeneration without a change";

  model.graticule = 0;
  frames(1);
  EXPECT_EQ(grid->regenerationCount(), steady + 5) << "one regeneration per switch that changed";
  EXPECT_EQ(grid->drawNode()->lineVertexCount(), 2u * 4) << "only the border";

  model.graticule = 1 << GridLayer::MINOR_GRID;
  frames(1);
  EXPECT_EQ(grid->regenerationCount(), steady + 6);
  EXPECT_EQ(grid->drawNode()->lineVertexCount(), 2u * (92 + 4));
  model.graticule = 1 << GridLayer::CROSSHAIR;
  frames(1);
  EXPECT_EQ(grid->drawNode()->lineVertexCount(), 2u * (1 + 4));
}

// --- acquiring indicator ---------------------------------------------------------------------

TEST_F(SceneTest, AcquiringIndicatorShowsWhileScanningInSpectrumMode) {
  MainScene* s = runScene();
  frames(1);
  model.runtime.scanInProgress = true;
  frames(1);
  ASSERT_TRUE(s->isAcquiringIndicatorShown());
  eng::Node* label = s->acquiringIndicatorLabel();
  EXPECT_NEAR(label->getBoundingBox().getMaxX(), 960 - 5, 0.01);
  EXPECT_NEAR(label->getPosition().y, 640 - 16 / 2 - 1, 0.01);
  frames(5);
  EXPECT_EQ(s->acquiringIndicatorLabel(), label) << "built once";
  model.runtime.scanInProgress = false;
  frames(1);
  EXPECT_FALSE(s->isAcquiringIndicatorShown());

  model.runtime.scanInProgress = true;
  model.common.spectrumMode = 0;
  frames(1);
  EXPECT_FALSE(s->isAcquiringIndicatorShown());
  EXPECT_FALSE(model.runtime.scanInProgress);
}

// --- resize ----------------------------------------------------------------------------------

TEST_F(SceneTest, ResizeRescalesCursorsRebuildsTheBarAndReopensTables) {
  MainScene* s = runScene();
  frames(1);
  s->showSSIDTable();
  eng::Node* oldTable = s->ssidTable();
  const float before[8] = {100, 200, 100, 200, 50, 400, 300, 600};
  for (int i = 0; i < 8; ++i) model.cursors.cursorPositions[i] = before[i];
  const int attaches = menus.attaches;
  model.band24.heatMapDirty = false;

  eng::Director::getInstance()->setDesignSize(eng::Size(1920, 640 + 565));  // twice the plot height
  frames(1);

  const float sx = 2.0f, sy = 2.0f;
  const bool horizontal[8] = {true, true, false, false, false, false, true, true};
  for (int i = 0; i < 8; ++i)
    EXPECT_FLOAT_EQ(model.cursors.cursorPositions[i], before[i] * (horizontal[i] ? sx : sy)) << "position " << i;
  EXPECT_EQ(menus.attaches, attaches + 1);
  EXPECT_EQ(menus.retracts, 1) << "the bar was not fully out";
  ASSERT_TRUE(s->ssidTable());
  EXPECT_NE(s->ssidTable(), oldTable) << "re-created at the new size";
  EXPECT_EQ(s->watermark()->getPosition(), eng::Vec2(960, 602.5f));
  EXPECT_TRUE(model.band24.heatMapAccumulated);
  EXPECT_TRUE(model.band24.heatMapDirty);
  EXPECT_TRUE(model.band5.heatMapChanged);
  EXPECT_TRUE(model.band24.tracesProcessed);
}

TEST_F(SceneTest, ResizeWithTheBarFullyOutKeepsItOut) {
  MainScene* s = runScene();
  frames(1);
  s->showUtilizationTable();
  eng::Node* oldTable = s->utilizationTable();
  menus.slide = 100;
  eng::Director::getInstance()->setDesignSize(eng::Size(1024, 768));
  frames(1);
  EXPECT_EQ(menus.retracts, 0);
  ASSERT_TRUE(s->utilizationTable());
  EXPECT_NE(s->utilizationTable(), oldTable);
  EXPECT_FALSE(s->ssidTable());
}
