// The on-screen log layer: updated by the director's scheduler without being in the scene,
// lines stacked one line height apart from the bottom-left, coloured by level.
#include <gtest/gtest.h>

#include "core/gui/ScreenLogLayer.h"
#include "engine/Engine.h"

using namespace tarvo;

namespace {

class ScreenLogLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    eng::FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
    eng::Director::getInstance()->initHeadless(eng::Size(960, 640));
    eng::Director::getInstance()->runWithScene(eng::Scene::create());
  }
  void TearDown() override { eng::Director::getInstance()->reset(); }
  eng::ManualClock clock;
};

TEST_F(ScreenLogLayerTest, LinesStackFromTheBottomLeftOutsideTheScene) {
  eng::RefPtr<ScreenLogLayer> layer = ScreenLogLayer::create(clock);
  ASSERT_TRUE(layer);
  layer->log().setLevelMask(ScreenLog::STARTUP_MASK);
  layer->log().setLifetimeMs(ScreenLog::STARTUP_LIFETIME_MS);
  layer->log().log(4, "warning");
  layer->log().post("decoded");
  eng::Director::getInstance()->stepFrame(1.f / 60);
  ASSERT_EQ(layer->lineCount(), 2u);
  EXPECT_FLOAT_EQ(layer->lineHeight(), 640.0f / 50 - 1);
  eng::Label* older = layer->lineLabel(0);
  eng::Label* newer = layer->lineLabel(1);
  ASSERT_TRUE(older && newer);
  EXPECT_EQ(newer->getPosition(), eng::Vec2(0, 0));
  EXPECT_FLOAT_EQ(older->getPosition().y, layer->lineHeight());
  EXPECT_EQ(newer->getAnchorPoint(), eng::Vec2(0, 0));
  EXPECT_EQ(older->getColor(), eng::Color3B(255, 127, 32));
  EXPECT_EQ(newer->getColor(), eng::Color3B(32, 255, 32));
  EXPECT_FLOAT_EQ(newer->getFontSize(), layer->lineHeight());

  clock.advanceMs(15001);
  eng::Director::getInstance()->stepFrame(1.f / 60);
  EXPECT_EQ(layer->lineCount(), 0u);
  EXPECT_EQ(layer->getChildrenCount(), 0u);
}

}  // namespace
