// The main scene rendered into an offscreen framebuffer (Mesa under Xvfb): the graticule's
// colours and drawing order, the switches, and the watermark and read-outs on screen.
#include <gtest/gtest.h>

#include <cstdlib>

#include "DisplayFixture.h"
#include "engine/testing/Xvfb.h"

using namespace tarvo;

namespace {

class DisplayGLTest : public displaytest::SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    view = eng::GLView::createOffscreen(eng::Size(960, 640));
    ASSERT_TRUE(view) << "no GL context (is an X display reachable?)";
    eng::Director::getInstance()->setOpenGLView(view.get());
    factory = DisplayLayerFactory{};
  }
  eng::Image frame() {
    eng::Image img;
    eng::Director::getInstance()->requestCapture([&](const eng::Image& f) { img = f; });
    frames(1);
    return img;
  }
  // Grey level found within ±2 points of (x, y) (y from the bottom) closest to `grey`.
  static int nearestGrey(const eng::Image& img, float x, float y, int grey) {
    int best = -1000;
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx) {
        const int px = int(x) + dx, py = img.height - 1 - (int(y) + dy);
        if (px < 0 || py < 0 || px >= img.width || py >= img.height) continue;
        const int v = img.pixel(px, py)[0];
        if (std::abs(v - grey) < std::abs(best - grey)) best = v;
      }
    return best;
  }
  eng::RefPtr<eng::GLView> view;
};

// Positions inside the plot area (origin (0, 75), 960 × 565): x(i, n) = 956 i / n + 2.
constexpr float PLOT_Y = 75;
float gx(int i, int n) { return 956.0f * i / n + 2; }

TEST_F(DisplayGLTest, GraticuleColoursAndOrder) {
  runScene();
  frames(1);
  const eng::Image img = frame();
  ASSERT_EQ(img.width, 960);
  const float midY = PLOT_Y + 565.0f * 0.3f;
  EXPECT_NEAR(nearestGrey(img, gx(1, 50), midY, 25), 25, 3) << "minor grid line";
  EXPECT_NEAR(nearestGrey(img, gx(1, 10), midY, 38), 38, 3) << "major grid drawn over the minor line under it";
  EXPECT_NEAR(nearestGrey(img, gx(0, 10), midY, 127), 127, 3) << "border";
  EXPECT_NEAR(nearestGrey(img, 480, midY, 127), 127, 3) << "crosshair";
  EXPECT_NEAR(nearestGrey(img, gx(1, 50), PLOT_Y + 3, 127), 127, 3) << "minor tick over the minor line";
  EXPECT_NEAR(nearestGrey(img, gx(1, 50) + 5, midY + 3, 0), 0, 3) << "between lines";
}

TEST_F(DisplayGLTest, SwitchesOffLeaveOnlyTheBorder) {
  model.graticule = 0;
  runScene();
  frames(1);
  const eng::Image img = frame();
  const float midY = PLOT_Y + 565.0f * 0.3f;
  EXPECT_NEAR(nearestGrey(img, gx(1, 10), midY, 0), 0, 3);
  EXPECT_NEAR(nearestGrey(img, 480, midY, 0), 0, 3);
  EXPECT_NEAR(nearestGrey(img, gx(0, 10), midY, 127), 127, 3);
  model.graticule = 1 << GridLayer::MAJOR_GRID;
  frames(1);
  const eng::Image again = frame();
  EXPECT_NEAR(nearestGrey(again, gx(1, 10), midY, 38), 38, 3);
}

TEST_F(DisplayGLTest, WatermarkAndReadoutsAreDrawn) {
  runScene();
  frames(2);
  const eng::Image img = frame();
  int watermark = 0, readouts = 0;
  for (int y = 234; y < 330; ++y)  // the watermark's box, rows from the top
    for (int x = 352; x < 608; ++x)
      if (std::abs(img.pixel(x, y)[0] - 65) <= 12) ++watermark;
  for (int y = 570; y < 640; ++y)
    for (int x = 0; x < 200; ++x)
      if (img.pixel(x, y)[0] > 180) ++readouts;
  EXPECT_GT(watermark, 200);
  EXPECT_GT(readouts, 30);
  model.setConnected(true);
  frames(1);
  const eng::Image connected = frame();
  int left = 0;
  for (int y = 234; y < 330; ++y)
    for (int x = 352; x < 608; ++x)
      if (std::abs(connected.pixel(x, y)[0] - 65) <= 12) ++left;
  EXPECT_LT(left, watermark / 10) << "no watermark with an accessory";
}

}  // namespace

int main(int argc, char** argv) {
  eng::testing::reexecUnderXvfbIfNoDisplay(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
