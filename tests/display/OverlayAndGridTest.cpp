// The axis overlay (fades, texts, placement) and the graticule geometry.
#include <gtest/gtest.h>

#include "DisplayFixture.h"
#include "display/GridLayer.h"
#include "display/OverlayLayer.h"

using namespace tarvo;
using displaytest::SceneTest;

namespace {

class OverlayTest : public SceneTest {
 protected:
  // A plain running scene holding one overlay on the inner plot area.
  OverlayLayer* runOverlay(bool spectrumMode = true, bool band24 = true) {
    eng::Scene* scene = eng::Scene::create();
    eng::Director::getInstance()->runWithScene(scene);
    OverlayLayer* o = OverlayLayer::create(model);
    placeOn(o, eng::Rect(1, 76, 958, 563));
    o->setFlags(spectrumMode, band24, !band24, false);
    scene->addChild(o);
    frames(1);
    return o;
  }
  static int amplitude(OverlayLayer* o) { return o->label(OverlayLayer::AMPLITUDE_TOP)->getOpacity(); }
};

TEST_F(OverlayTest, TouchFadesInOverAQuarterSecondAndOutOverTwoSeconds) {
  OverlayLayer* o = runOverlay();
  EXPECT_EQ(amplitude(o), 0);
  touches().touchesBegan(0, {400, 300});
  frames(4, 0.05f);
  EXPECT_GT(amplitude(o), 0);
  EXPECT_LT(amplitude(o), 255) << "0.2 s is not yet full";
  frames(1, 0.05f);
  EXPECT_EQ(amplitude(o), 255) << "full at 0.25 s";
  frames(20, 0.05f);
  EXPECT_EQ(amplitude(o), 255);
  EXPECT_EQ(o->label(OverlayLayer::FIRST_FREQUENCY)->getOpacity(), 255);

  touches().touchesEnded(0, {400, 300});
  frames(38, 0.05f);  // 1.9 s
  EXPECT_GT(amplitude(o), 0);
  EXPECT_LT(amplitude(o), 255);
  frames(3, 0.05f);  // 2.05 s
  EXPECT_EQ(amplitude(o), 0);
  EXPECT_EQ(o->label(OverlayLayer::FIRST_FREQUENCY)->getOpacity(), 0);
  EXPECT_EQ(o->fadeLevel(), 0.0f);
}

TEST_F(OverlayTest, ALastFadeStepBelowZeroDoesNotWrapTheOpacity) {
  OverlayLayer* o = runOverlay();
  touches().touchesBegan(0, {400, 300});
  frames(1, 0.0025f);  // fade 0.01
  touches().touchesEnded(0, {400, 300});
  frames(1, 0.1f);  // fade -0.04
  EXPECT_EQ(amplitude(o), 0);
}

TEST_F(OverlayTest, TwoFingersDownAndOneLiftedKeepsTheLabels) {
  OverlayLayer* o = runOverlay();
  touches().touchesBegan(1, {300, 300});
  touches().touchesBegan(2, {500, 300});
  frames(10, 0.05f);
  touches().touchesEnded(1, {300, 300});
  frames(60, 0.05f);
  EXPECT_EQ(o->touchesDown(), 1);
  EXPECT_EQ(amplitude(o), 255);
  touches().touchesCancelled(2, {500, 300});
  touches().touchesEnded(2, {500, 300});
  EXPECT_EQ(o->touchesDown(), 0) << "never below zero";
}

TEST_F(OverlayTest, PowerModeNeverShowsTheFrequencies) {
  OverlayLayer* o = runOverlay(false);
  touches().touchesBegan(0, {400, 300});
  frames(20, 0.05f);
  EXPECT_EQ(amplitude(o), 255);
  EXPECT_EQ(o->label(OverlayLayer::FIRST_FREQUENCY)->getOpacity(), 0);
  EXPECT_EQ(o->label(OverlayLayer::LAST_FREQUENCY)->getOpacity(), 0);
  EXPECT_EQ(o->label(OverlayLayer::AMPLITUDE_BOTTOM)->getString(), "-40.00 dBm");
  EXPECT_EQ(o->label(OverlayLayer::AMPLITUDE_TOP)->getString(), "0.00 dBm");
}

TEST_F(OverlayTest, AttenuationOffsetOfAConnectedAccessoryShiftsTheRange) {
  model.common.externalAttenuationDb = 10.0f;
  struct Row {
    const char* name;
    bool connected;
    const char* bottom;
    const char* top;
  };
  const Row rows[] = {{"connected", true, "-80.00 dBm", "0.00 dBm"},
                      {"no accessory", false, "-90.00 dBm", "-10.00 dBm"}};
  OverlayLayer* o = runOverlay();
  touches().touchesBegan(0, {400, 300});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    model.setConnected(row.connected);
    frames(1);
    EXPECT_EQ(o->label(OverlayLayer::AMPLITUDE_BOTTOM)->getString(), row.bottom);
    EXPECT_EQ(o->label(OverlayLayer::AMPLITUDE_TOP)->getString(), row.top);
  }
}

TEST_F(OverlayTest, BandTextsAndPlacement) {
  OverlayLayer* o = runOverlay(true, false);
  touches().touchesBegan(0, {400, 300});
  frames(2);
  EXPECT_EQ(o->label(OverlayLayer::FIRST_FREQUENCY)->getString(), "5.145GHz");
  EXPECT_EQ(o->label(OverlayLayer::LAST_FREQUENCY)->getString(), "5.860GHz");
  const eng::Rect last = o->label(OverlayLayer::LAST_FREQUENCY)->getBoundingBox();
  const eng::Rect bottom = o->label(OverlayLayer::AMPLITUDE_BOTTOM)->getBoundingBox();
  const eng::Rect top = o->label(OverlayLayer::AMPLITUDE_TOP)->getBoundingBox();
  EXPECT_EQ(o->label(OverlayLayer::FIRST_FREQUENCY)->getBoundingBox().origin, eng::Vec2(0, 0));
  EXPECT_FLOAT_EQ(last.getMaxX(), 958);
  EXPECT_FLOAT_EQ(bottom.getMaxX(), 958);
  EXPECT_FLOAT_EQ(bottom.getMinY(), last.getMaxY());
  EXPECT_FLOAT_EQ(top.getMaxX(), 958);
  EXPECT_FLOAT_EQ(top.getMaxY(), 563);
}

TEST_F(OverlayTest, MilliwattUnitsPrintWatts) {
  model.common.unitsMilliwatt = 1;
  OverlayLayer* o = runOverlay(false);
  touches().touchesBegan(0, {400, 300});
  frames(2);
  EXPECT_EQ(o->label(OverlayLayer::AMPLITUDE_TOP)->getString(), "1.00 mW") << "0 dBm";
  EXPECT_EQ(o->label(OverlayLayer::AMPLITUDE_BOTTOM)->getString(), "0.10 \xC2\xB5W") << "-40 dBm: 1e-7 W";
}

// --- graticule geometry ----------------------------------------------------------------------


TEST_F(SceneTest, AllSwitchesOffLeaveOnlyTheBorder) {
  eng::Scene* scene = eng::Scene::create();
  eng::Director::getInstance()->runWithScene(scene);
  GridLayer* grid = GridLayer::create();
  placeOn(grid, eng::Rect(0, 75, 960, 565));
  for (int i = 0; i < GridLayer::SWITCH_COUNT; ++i) grid->setSwitch(i, false);
  grid->regenerate();
  scene->addChild(grid);
  EXPECT_EQ(grid->drawNode()->lineVertexCount(), 8u);
  frames(1);
  const auto& stats = eng::Director::getInstance()->getRenderer()->lastFrameStats();
  ASSERT_EQ(stats.scissors.size(), 1u) << "the grid clips to its own rectangle";
  EXPECT_EQ(stats.scissors[0], eng::Rect(0, 75, 960, 565));
}

}  // namespace
