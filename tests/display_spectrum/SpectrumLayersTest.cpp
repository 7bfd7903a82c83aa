// The spectrum layers on a headless director: what they build from the model frame by frame.
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "SpectrumLayerFixture.h"
#include "display/MainScene.h"
#include "display/spectrum/RssiLayer.h"
#include "display/spectrum/SpectrumLayers.h"
#include "display/spectrum/ScalingPopoverSeam.h"
#include "display/spectrum/TraceProcessing.h"
#include "display/spectrum/WaterfallLayer.h"
#include "display/spectrum/WaterfallThresholdAndTouchLayer.h"
#include "display/spectrum/WaterfallProcessing.h"

using namespace tarvo;
using spectrumtest::LayerTest;
using spectrumtest::PLOT;

namespace {

std::vector<float> ramp(int n, float from, float step) {
  std::vector<float> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[size_t(i)] = from + step * float(i);
  return v;
}

eng::Color3B traceColor(const AnalyzerModel& m, int type) {
  const auto& c = m.spectrum.traceColors[type - 1];
  return eng::Color3B(c[0], c[1], c[2]);
}

// --- RssiLayer ---------------------------------------------------------------------------------

class RssiLayerTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    model.spectrum.traceTypes[0] = TRACE_RAW;
    model.spectrum.traceTypes[1] = TRACE_NONE;
    model.spectrum.traceTypes[2] = TRACE_NONE;
    layer = place(RssiLayer::create(model));
  }
  RssiLayer* layer = nullptr;
};

TEST_F(RssiLayerTest, ProcessesOncePerSweepAndRedrawsOnlyWhenSomethingChanged) {
  sweep(ramp(100, -90, 0.5f));
  frames(1);
  EXPECT_EQ(model.band24.processedBins, 100);
  EXPECT_EQ(layer->traceNode()->lineVertexCount(), 2u * 99);
  const uint64_t redraws = layer->redrawCount();
  frames(5);
  EXPECT_EQ(layer->redrawCount(), redraws);
  EXPECT_FALSE(model.band24.tracesProcessed);

  sweep(ramp(100, -80, 0.5f));
  frames(1);
  EXPECT_EQ(layer->redrawCount(), redraws + 1);
  EXPECT_FLOAT_EQ(model.band24.maxHoldTrace[0], -80.0f);
}

TEST_F(RssiLayerTest, SwitchingASlotFromRawToMaxHoldRedrawsAtOnce) {
  sweep(ramp(50, -90, 1));
  frames(1);
  ASSERT_EQ(layer->visibleSet(), 1u << TRACE_RAW);
  ASSERT_FALSE(layer->peakIcons().empty());
  EXPECT_EQ(layer->peakIcons()[0]->getColor(), traceColor(model, TRACE_RAW));
  const uint64_t redraws = layer->redrawCount();

  model.spectrum.traceTypes[0] = TRACE_MAX_HOLD;  // no new sweep
  frames(1);
  EXPECT_EQ(layer->redrawCount(), redraws + 1);
  // RAW is no longer shown: the set follows the slots exactly.
  EXPECT_EQ(layer->visibleSet(), 1u << TRACE_MAX_HOLD);
  EXPECT_EQ(layer->traceNode()->lineVertexCount(), 2u * 49);
  ASSERT_EQ(layer->peakIcons().size(), 5u);
  for (const auto& icon : layer->peakIcons()) EXPECT_EQ(icon->getColor(), traceColor(model, TRACE_MAX_HOLD));
}

TEST_F(RssiLayerTest, OneBinTraceIsNotDrawnAndTakesNoCursorSample) {
  model.cursors.cursorsShown = 1;
  model.cursors.cursorSelect = 1;
  model.cursorSamples.sampleCount = 123;
  sweep({-50});
  frames(2);
  EXPECT_EQ(model.band24.processedBins, 1);
  EXPECT_EQ(layer->traceNode()->lineVertexCount(), 0u);
  EXPECT_TRUE(layer->peakIcons().empty());
  EXPECT_EQ(model.cursorSamples.sampleCount, 123);
}

TEST_F(RssiLayerTest, CursorAtTheRightEdgeReadsTheLastBin) {
  model.cursors.cursorsShown = 1;
  model.cursors.cursorSelect = 1;
  model.cursors.cursorPositions[0] = PLOT.size.width;
  model.cursors.cursorPositions[1] = PLOT.size.width / 2;
  sweep(ramp(11, -60, 2));  // last bin −40
  frames(1);
  const CursorSamples& s = model.cursorSamples;
  EXPECT_EQ(s.sampleCount, 11);
  EXPECT_EQ(s.cursors[0].index, 10);
  EXPECT_FLOAT_EQ(s.cursors[0].values[0], -40.0f);
  EXPECT_NEAR(s.cursors[0].heights[0], 0.6f * PLOT.size.height, 1e-3);
  EXPECT_EQ(s.cursors[1].index, 5);
  EXPECT_FLOAT_EQ(s.cursors[1].values[3], -50.0f);

  // The samples follow a cursor drag without waiting for a sweep.
  model.cursors.cursorPositions[0] = 0;
  frames(1);
  EXPECT_EQ(s.cursors[0].index, 0);
  // Y cursors take no sample.
  model.cursors.cursorSelect = 0;
  model.cursors.cursorPositions[0] = PLOT.size.width;
  frames(1);
  EXPECT_EQ(s.cursors[0].index, 0);
}

TEST_F(RssiLayerTest, PeakIconsStandOnPeaksOrHangFromTheTop) {
  std::vector<float> v(20, -90);
  v[4] = -30;
  v[12] = -2;  // too close to the top edge (0 dBm) for a standing icon
  sweep(v);
  model.spectrum.measureSettings[TRACE_RAW - 1] = 2;
  frames(1);
  const auto& icons = layer->peakIcons();
  ASSERT_EQ(icons.size(), 2u);
  const float xStep = PLOT.size.width / 19, H = PLOT.size.height;
  // Slot 0 is bin 12 (−2 dBm): it would reach past the top, so it hangs there.
  EXPECT_FLOAT_EQ(icons[0]->getPositionX(), 12 * xStep);
  EXPECT_FLOAT_EQ(icons[0]->getPositionY(), H);
  EXPECT_EQ(icons[0]->getAnchorPoint(), eng::Vec2(0.5f, 1));
  // Slot 1 is bin 4 (−30 dBm): standing on it.
  EXPECT_FLOAT_EQ(icons[1]->getPositionX(), 4 * xStep);
  EXPECT_NEAR(icons[1]->getPositionY(), 0.7f * H, 1e-3);
  EXPECT_EQ(icons[1]->getAnchorPoint(), eng::Vec2(0.5f, 0));

  // The type named by peaksOnTopTrace always hangs from the top.
  model.spectrum.peaksOnTopTrace = TRACE_RAW;
  sweep(v);
  frames(1);
  EXPECT_FLOAT_EQ(icons[1]->getPositionY(), H);

  // Fewer icons wanted: the surplus leaves the layer.
  eng::Sprite* kept = icons[0].get();
  model.spectrum.measureSettings[TRACE_RAW - 1] = 1;
  sweep(v);
  frames(1);
  ASSERT_EQ(layer->peakIcons().size(), 1u);
  EXPECT_EQ(layer->peakIcons()[0].get(), kept);
}

TEST_F(RssiLayerTest, HeatMapSpritesFollowTheSlotsAndFillTheLayer) {
  EXPECT_EQ(layer->glowSprite()->getParent(), layer);  // present after init
  frames(1);
  EXPECT_EQ(layer->glowSprite()->getParent(), nullptr);  // no slot shows the heat map
  model.spectrum.traceTypes[1] = TRACE_HEAT_MAP;
  {
    ModelLock lock(model, LOCK_SPECTRUM);
    SpectrumStore& s = model.band24;
    s.heatMapBins = 200;
    s.heatMapLevels = 100;
    s.heatMap.assign(200 * 100, 0);
    s.heatMap[0] = 25;
    s.heatMapDirty = true;
  }
  frames(2);
  ASSERT_EQ(layer->glowSprite()->getParent(), layer);
  ASSERT_EQ(layer->densitySprite()->getParent(), layer);
  EXPECT_FALSE(model.band24.heatMapDirty);
  const eng::Texture2D* t = layer->glowSprite()->getTexture();
  EXPECT_FLOAT_EQ(t->getMaxS(), 200.f / 512);
  EXPECT_FLOAT_EQ(t->getMaxT(), 100.f / 256);
  // Centre of texel (bin 0, level 0) lands on the bottom-left corner, texel (199, 99) on the
  // top-right corner: the used part fills the layer upside down.
  for (eng::Sprite* s : {layer->glowSprite(), layer->densitySprite()}) {
    const eng::Mat4 m = s->getNodeToParentTransform();
    const eng::Vec2 first = m.transformPoint(eng::Vec2(0.5f, 256 - 0.5f));
    const eng::Vec2 last = m.transformPoint(eng::Vec2(199.5f, 256 - 99.5f));
    EXPECT_NEAR(first.x, 0, 1e-2);
    EXPECT_NEAR(first.y, 0, 1e-2);
    EXPECT_NEAR(last.x, PLOT.size.width, 1e-2);
    EXPECT_NEAR(last.y, PLOT.size.height, 1e-2);
    EXPECT_EQ(s->getOpacity(), 255);
  }
  EXPECT_EQ(layer->glowPixels()[3], HEAT_MAP_GLOW_ALPHA);

  // The first generation shows the glow only.
  DeviceInfo gen1 = *model.deviceInfo();
  gen1.generationCode = GENERATION_TARVO;
  model.setDeviceInfo(gen1);
  frames(1);
  EXPECT_EQ(layer->densitySprite()->getOpacity(), 0);
  EXPECT_EQ(layer->glowSprite()->getOpacity(), 255);
}

// --- WaterfallLayer ----------------------------------------------------------------------------

class WaterfallLayerTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    layer = place(WaterfallLayer::create(model));
  }
  // Where the centre of texture row r lands, in layer points.
  float rowCentreY(int r) const {
    return layer->picture()->getNodeToParentTransform().transformPoint(eng::Vec2(10, 512 - (r + 0.5f))).y;
  }
  WaterfallLayer* layer = nullptr;
};

TEST_F(WaterfallLayerTest, FewerThan500SweepsShowOnlyTheStoredRowsNewestAtTheTop) {
  frames(1);
  EXPECT_FALSE(layer->picture()->isVisible());  // empty history: nothing shows
  for (int i = 0; i < 3; ++i) sweep(ramp(256, -80 + 10 * i, 0));
  frames(1);
  ASSERT_TRUE(layer->picture()->isVisible());
  EXPECT_FALSE(model.band24.heatMapChanged);
  EXPECT_FLOAT_EQ(layer->texture()->getMaxT(), 3.f / 512);
  EXPECT_FLOAT_EQ(layer->texture()->getMaxS(), 256.f / 512);
  const float H = PLOT.size.height, row = H / 500;
  EXPECT_NEAR(rowCentreY(2), H - 0.5f * row, 1e-3);  // the newest, at the top edge
  EXPECT_NEAR(rowCentreY(0), H - 2.5f * row, 1e-3);  // the oldest, below it
  // Bins span the width: bin 0 starts at the left edge, bin 255 ends at the right edge.
  const eng::Mat4 m = layer->picture()->getNodeToParentTransform();
  EXPECT_NEAR(m.transformPoint(eng::Vec2(0, 511)).x, 0, 1e-3);
  EXPECT_NEAR(m.transformPoint(eng::Vec2(256, 511)).x, PLOT.size.width, 1e-2);
  // Texture rows: row 2 holds the newest sweep (−60 dBm).
  const WaterfallColorScale scale(model.spectrum.waterfallTopDbm, model.spectrum.waterfallBottomDbm);
  const auto table = buildColorTable(0, 256, ColorTableForm::WATERFALL);
  const uint8_t* px = layer->texture()->pixels() + (size_t(2) * 512 + 7) * 4;
  EXPECT_EQ((Rgb{px[0], px[1], px[2]}), table[size_t(scale.index(-60))]);

  // Nothing changed: no rebuild.
  const uint64_t builds = layer->rebuildCount();
  frames(3);
  EXPECT_EQ(layer->rebuildCount(), builds);
}

TEST_F(WaterfallLayerTest, ZoomOption2Shows100Rows) {
  for (int i = 0; i < 300; ++i) sweep(ramp(256, -70, 0));
  model.spectrum.waterfallOption = 2;
  frames(1);
  const float H = PLOT.size.height;
  // 300 rows in the texture; the newest at the top, the 100th newest ending at the bottom edge.
  EXPECT_NEAR(rowCentreY(299), H - 0.5f * H / 100, 1e-2);
  const float bottomOf100th = layer->picture()->getNodeToParentTransform().transformPoint(eng::Vec2(0, 512 - 200)).y;
  EXPECT_NEAR(bottomOf100th, 0, 1e-2);
  model.spectrum.waterfallOption = 1;
  frames(1);
  EXPECT_NEAR(rowCentreY(299), H - 0.5f * H / 250, 1e-2);
}

TEST_F(WaterfallLayerTest, MarkersArePooledAndHiddenWithTheCursors) {
  std::vector<float> v(256, -90);
  v[10] = -40;
  v[20] = -50;
  sweep(v);
  model.cursors.cursorsShown = 1;
  model.cursors.cursorPositions[2] = PLOT.size.height;  // Y1 at the top: the newest sweep
  model.cursors.cursorPositions[3] = -1e6f;
  model.cursors.cursorPositions[0] = -5;  // X cursors off the layer
  model.cursors.cursorPositions[1] = -5;
  model.spectrum.measureSettings[5] = 2;
  frames(1);
  ASSERT_EQ(layer->markers().size(), 2u);
  EXPECT_EQ(layer->markers()[0]->getOpacity(), 255);
  EXPECT_NEAR(layer->markers()[0]->getPositionX(), 10.5f * PLOT.size.width / 256, 1e-3);
  EXPECT_EQ(model.markerSlots[0].index, 10);
  EXPECT_EQ(model.markerSlots[1].index, 20);

  model.spectrum.measureSettings[5] = 1;
  frames(1);
  ASSERT_EQ(layer->markers().size(), 2u);  // kept for later, hidden
  EXPECT_EQ(layer->markers()[1]->getOpacity(), 0);

  model.cursors.cursorsShown = 0;
  frames(1);
  EXPECT_EQ(layer->markers()[0]->getOpacity(), 0);
  EXPECT_EQ(model.markerSlots[0].index, -1);
}

// --- WaterfallThresholdAndTouchLayer -----------------------------------------------------------

class RecordingPopover : public ScalingPopoverSeam {
 public:
  void showStep(const ScalingPopoverStep& s) override { steps.push_back(s); }
  void stopShowing() override { ++stops; }
  std::vector<ScalingPopoverStep> steps;
  int stops = 0;
};

class ThresholdLayerTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    setScalingPopover(&popover);
    model.runtime.displaySizeClass = 3;
    layer = place(WaterfallThresholdAndTouchLayer::create(model));
    frames(1);
  }
  void TearDown() override {
    setScalingPopover(nullptr);
    LayerTest::TearDown();
  }
  // Window point on the right edge at the height of a threshold (range −100 ... 0 dBm).
  eng::Vec2 at(float dbm) const {
    return PLOT.origin + eng::Vec2(PLOT.size.width - 10, (dbm + 100) / 100 * PLOT.size.height);
  }
  float pointsPerDb() const { return PLOT.size.height / 100; }
  WaterfallThresholdAndTouchLayer* layer = nullptr;
  RecordingPopover popover;
};

TEST_F(ThresholdLayerTest, BubblesSitAtTheThresholdsAndWaitAtTheEdges) {
  EXPECT_FLOAT_EQ(layer->fontSize(), 16);
  EXPECT_GT(layer->readoutBoxSize().width, 0);
  ASSERT_TRUE(layer->upperBubble() && layer->lowerBubble());
  EXPECT_NEAR(layer->upperBubble()->getPositionY(), 63 * pointsPerDb(), 1e-3);  // −37 dBm
  EXPECT_NEAR(layer->lowerBubble()->getPositionY(), 15 * pointsPerDb(), 1e-3);  // −85 dBm
  EXPECT_FLOAT_EQ(layer->upperBubble()->getPositionX(), PLOT.size.width);
  const float hw = float(layer->upperBubble()->getTexture()->getPixelsWide()) / 2;
  EXPECT_EQ(layer->upperBubble()->getTextureRect().origin, eng::Vec2(hw, layer->upperBubble()->getTexture()->getPixelsHigh() / 2.f));
  // Tints: the first and last colours of the waterfall map (RAINBOW: blue-purple and red).
  EXPECT_EQ(layer->upperBubble()->getColor(), eng::Color3B(255, 0, 0));
  EXPECT_EQ(layer->lowerBubble()->getColor(), eng::Color3B(63, 0, 255));

  model.spectrum.waterfallTopDbm = 20;      // above the visible range
  model.spectrum.waterfallBottomDbm = -120;  // below it
  frames(1);
  EXPECT_FLOAT_EQ(layer->upperBubble()->getPositionY(), PLOT.size.height);
  EXPECT_EQ(layer->upperBubble()->getAnchorPoint(), eng::Vec2(1, 1));
  EXPECT_EQ(layer->upperBubble()->getTextureRect().origin, eng::Vec2(0, 0));
  EXPECT_FLOAT_EQ(layer->lowerBubble()->getPositionY(), 0);
  EXPECT_EQ(layer->lowerBubble()->getAnchorPoint(), eng::Vec2(1, 0));
  EXPECT_EQ(layer->lowerBubble()->getTextureRect().origin, eng::Vec2(hw, 0));
}

TEST_F(ThresholdLayerTest, DraggingTheUpperBelowTheLowerPullsItAlong) {
  model.band24.heatMapChanged = false;
  model.band5.heatMapChanged = false;
  auto& d = touches();
  d.touchesBegan(0, at(-37));
  EXPECT_EQ(layer->dragState(), DRAG_UPPER);
  EXPECT_TRUE(model.runtime.touchCaptured);
  d.touchesMoved(0, at(-37) - eng::Vec2(0, 58 * pointsPerDb()));  // to −95 dBm
  EXPECT_NEAR(model.spectrum.waterfallTopDbm, -95, 1e-3);
  EXPECT_NEAR(model.spectrum.waterfallBottomDbm, -95, 1e-3);
  EXPECT_TRUE(model.band24.heatMapChanged);
  EXPECT_TRUE(model.band5.heatMapChanged);
  d.touchesEnded(0, at(-95));
  EXPECT_FALSE(model.runtime.touchCaptured);
  EXPECT_EQ(layer->dragState(), DRAG_NONE);
}

TEST_F(ThresholdLayerTest, DraggingTheLowerAboveTheUpperPushesIt) {
  auto& d = touches();
  d.touchesBegan(0, at(-85));
  EXPECT_EQ(layer->dragState(), DRAG_LOWER);
  d.touchesMoved(0, at(-85) + eng::Vec2(0, 30 * pointsPerDb()));  // −55: below the top, alone
  EXPECT_NEAR(model.spectrum.waterfallBottomDbm, -55, 1e-3);
  EXPECT_NEAR(model.spectrum.waterfallTopDbm, -37, 1e-3);
  d.touchesMoved(0, at(-85) + eng::Vec2(0, 65 * pointsPerDb()));  // −20: pushes the top
  EXPECT_NEAR(model.spectrum.waterfallBottomDbm, -20, 1e-3);
  EXPECT_NEAR(model.spectrum.waterfallTopDbm, -20, 1e-3);
  d.touchesEnded(0, at(-20));

  // A touch away from the bubbles drags nothing and does not capture the touch.
  d.touchesBegan(0, PLOT.origin + eng::Vec2(100, 100));
  EXPECT_EQ(layer->dragState(), DRAG_NONE);
  EXPECT_FALSE(model.runtime.touchCaptured);
  d.touchesMoved(0, PLOT.origin + eng::Vec2(100, 300));
  EXPECT_NEAR(model.spectrum.waterfallTopDbm, -20, 1e-3);
  d.touchesEnded(0, PLOT.origin + eng::Vec2(100, 300));
}

TEST_F(ThresholdLayerTest, ReadoutsFadeOverOneSecondAfterADrag) {
  auto& d = touches();
  d.touchesBegan(0, at(-37));
  d.touchesMoved(0, at(-40));
  frames(1);
  EXPECT_FLOAT_EQ(layer->fade(), 1.0f);
  ASSERT_TRUE(layer->upperLabel());
  EXPECT_EQ(layer->upperLabel()->getOpacity(), 255);
  EXPECT_EQ(layer->upperLabel()->getString(), "-40.00dBm");
  EXPECT_EQ(layer->lowerLabel()->getString(), "-85.00dBm");
  EXPECT_GT(layer->lines()->lineVertexCount(), 0u);
  d.touchesEnded(0, at(-40));

  frames(30);  // half a second
  EXPECT_NEAR(layer->fade(), 0.5f, 0.02f);
  EXPECT_NEAR(layer->upperLabel()->getTextColor().a, 127, 5);
  EXPECT_EQ(layer->upperLabel()->getOpacity(), 255);
  frames(31);  // just past one second
  EXPECT_LE(layer->fade(), 0.0f);
  EXPECT_EQ(layer->upperLabel()->getOpacity(), 0);
  EXPECT_EQ(layer->lowerLabel()->getOpacity(), 0);
  EXPECT_EQ(layer->lines()->lineVertexCount(), 0u);
  EXPECT_EQ(layer->lines()->triangleVertexCount(), 0u);

  // In watt units the read-outs convert.
  model.common.unitsMilliwatt = 1;
  d.touchesBegan(0, at(-40));
  frames(1);
  EXPECT_EQ(layer->upperLabel()->getString(), "100 nW");
  d.touchesEnded(0, at(-40));
}

TEST_F(ThresholdLayerTest, APinchUnder100PointsNeverChangesTheZoom) {
  eng::TouchScript pinch(touches());
  const eng::Vec2 c = PLOT.origin + eng::Vec2(300, 300);
  pinch.pinch(1, 2, c, eng::Vec2(0, 1), 100, 190, 9);  // 90 points of vertical movement in all
  EXPECT_EQ(model.spectrum.waterfallOption, 0);
  EXPECT_TRUE(popover.steps.empty());
  EXPECT_FALSE(model.runtime.touchCaptured);

  // A second short pinch starts counting afresh.
  pinch.pinch(1, 2, c, eng::Vec2(0, 1), 100, 190, 9);
  EXPECT_EQ(model.spectrum.waterfallOption, 0);

  // Horizontal movement does not count.
  pinch.pinch(1, 2, c, eng::Vec2(1, 0), 50, 400, 10);
  EXPECT_EQ(model.spectrum.waterfallOption, 0);
}

TEST_F(ThresholdLayerTest, SpreadingStepsTheZoomInAndTellsThePopover) {
  eng::TouchScript pinch(touches());
  const eng::Vec2 c = PLOT.origin + eng::Vec2(300, 300);
  auto& d = touches();
  d.touchesBegan(1, c - eng::Vec2(0, 50));
  d.touchesBegan(2, c + eng::Vec2(0, 50));
  EXPECT_EQ(layer->dragState(), DRAG_PINCH);
  EXPECT_TRUE(model.runtime.touchCaptured);
  for (int i = 1; i <= 6; ++i)  // 20 points apart per step: 120 in all
    d.touchesMoved({{1, c - eng::Vec2(0, 50 + 10.f * i)}, {2, c + eng::Vec2(0, 50 + 10.f * i)}});
  EXPECT_EQ(model.spectrum.waterfallOption, 1);
  ASSERT_EQ(popover.steps.size(), 1u);
  EXPECT_EQ(popover.steps[0].horizontalCount, 0);
  EXPECT_EQ(popover.steps[0].verticalCount, 3);
  EXPECT_EQ(popover.steps[0].verticalIndex, 1);
  EXPECT_EQ(popover.steps[0].verticalPrevious, 0);
  for (int i = 7; i <= 16; ++i)
    d.touchesMoved({{1, c - eng::Vec2(0, 50 + 10.f * i)}, {2, c + eng::Vec2(0, 50 + 10.f * i)}});
  EXPECT_EQ(model.spectrum.waterfallOption, 2);
  for (int i = 17; i <= 40; ++i)  // spreading at zoom 2 changes nothing
    d.touchesMoved({{1, c - eng::Vec2(0, 50 + 10.f * i)}, {2, c + eng::Vec2(0, 50 + 10.f * i)}});
  EXPECT_EQ(model.spectrum.waterfallOption, 2);
  EXPECT_EQ(popover.steps.size(), 2u);
  d.touchesEnded(1, c);
  EXPECT_EQ(popover.stops, 1);
  EXPECT_TRUE(model.runtime.touchCaptured);  // one finger still down
  d.touchesEnded(2, c);
  EXPECT_FALSE(model.runtime.touchCaptured);

  // Pinching together steps back out.
  pinch.pinch(1, 2, c, eng::Vec2(0, 1), 400, 280, 12);
  EXPECT_EQ(model.spectrum.waterfallOption, 1);
}

TEST_F(ThresholdLayerTest, LeavingTheSceneMidDragReleasesTheCapture) {
  touches().touchesBegan(0, at(-37));
  ASSERT_TRUE(model.runtime.touchCaptured);
  layer->removeFromParent();
  EXPECT_FALSE(model.runtime.touchCaptured);
}

TEST_F(ThresholdLayerTest, TouchesOutsideTheLayerAreNotClaimed) {
  touches().touchesBegan(0, eng::Vec2(500, 10));  // in the menu-bar strip
  EXPECT_EQ(layer->trackedTouches(), 0u);
  touches().touchesEnded(0, eng::Vec2(500, 10));
}

// --- in the main scene ---------------------------------------------------------------------------

class SceneRebuildTest : public LayerTest {
 protected:
  MainScene* runMainScene() {
    DisplayLayerFactory f;
    registerSpectrumLayers(f);
    MainScene* s = MainScene::create(model, clock);
    s->setLayerFactory(f);
    eng::Director::getInstance()->runWithScene(s);
    frames(1);
    return s;
  }
  eng::ManualClock clock;
};

TEST_F(SceneRebuildTest, TheSceneBuildsTheLayersOfEachViewForTheCurrentBand) {
  DeviceInfo info = *model.deviceInfo();
  info.band1SpectrumCapable = info.band2SpectrumCapable = true;
  model.setDeviceInfo(info);
  model.runtime.displaySizeClass = 3;
  MainScene* s = runMainScene();
  auto* trace = dynamic_cast<RssiLayer*>(s->traceLayer());
  ASSERT_NE(trace, nullptr);
  EXPECT_TRUE(trace->isBand24());
  EXPECT_FALSE(trace->isBand5());
  // On the inner plot area: above the 75-point strip, inset by one point.
  EXPECT_EQ(trace->getPosition(), eng::Vec2(1, 76));
  EXPECT_EQ(trace->getContentSize(), eng::Size(958, 640 - 75 - 2));
  EXPECT_EQ(s->waterfallLayer(), nullptr);

  model.spectrum.band = BAND_5G;
  frames(1);
  trace = dynamic_cast<RssiLayer*>(s->traceLayer());
  ASSERT_NE(trace, nullptr);
  EXPECT_FALSE(trace->isBand24());
  EXPECT_TRUE(trace->isBand5());

  model.spectrum.displayMode = 1;
  frames(1);
  EXPECT_EQ(s->traceLayer(), nullptr);
  auto* waterfall = dynamic_cast<WaterfallLayer*>(s->waterfallLayer());
  auto* threshold = dynamic_cast<WaterfallThresholdAndTouchLayer*>(s->thresholdLayer());
  ASSERT_NE(waterfall, nullptr);
  ASSERT_NE(threshold, nullptr);
  EXPECT_TRUE(waterfall->isBand5());
  EXPECT_TRUE(threshold->isBand5());
  EXPECT_FALSE(threshold->isBand24());
}

// --- with a producer thread --------------------------------------------------------------------

TEST_F(LayerTest, SweepsStoredByAnotherThreadWhileTheLayersDraw) {
  model.spectrum.traceTypes[0] = TRACE_RAW;
  model.spectrum.traceTypes[1] = TRACE_HEAT_MAP;
  model.cursors.cursorsShown = 1;
  RssiLayer* trace = place(RssiLayer::create(model));
  WaterfallLayer* waterfall = place(WaterfallLayer::create(model));
  std::atomic<bool> done{false};
  constexpr int SWEEPS = 300;
  std::thread producer([&] {
    std::vector<float> v(256);
    for (int k = 0; k < SWEEPS; ++k) {
      for (int i = 0; i < 256; ++i) v[size_t(i)] = -90.0f + float((i + k) % 50);
      {
        ModelLock lock(model, LOCK_SPECTRUM);
        SpectrumStore& s = model.band24;
        s.sweepHistory.append(v.data(), 256);
        s.lastSweepBins = 256;
        s.newSweep = true;
        s.heatMapBins = 256;
        s.heatMapLevels = 100;
        s.heatMap.assign(256 * 100, uint16_t(k % 3));
        s.heatMapDirty = true;
        s.heatMapAccumulated = false;
        s.heatMapChanged = true;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    done = true;
  });
  while (!done) frames(1);
  producer.join();
  frames(2);
  ModelLock lock(model, LOCK_SPECTRUM);
  EXPECT_FLOAT_EQ(model.band24.rawTrace[0], -90.0f + float((SWEEPS - 1) % 50));
  EXPECT_FALSE(model.band24.newSweep);
  EXPECT_FALSE(model.band24.heatMapChanged);
  EXPECT_FLOAT_EQ(waterfall->texture()->getMaxT(), float(std::min(SWEEPS, 500)) / 512);
  EXPECT_GT(trace->redrawCount(), 1u);
}

}  // namespace
