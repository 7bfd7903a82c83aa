// Pixels of the spectrum layers read back from an offscreen 960 × 640 framebuffer (Mesa
// llvmpipe under Xvfb).
#include <cstdlib>
#include <string>
#include <vector>

#include "SpectrumLayerFixture.h"
#include "display/spectrum/ColorTable.h"
#include "display/spectrum/RssiLayer.h"
#include "display/spectrum/WaterfallLayer.h"
#include "display/spectrum/WaterfallProcessing.h"

using namespace tarvo;
using spectrumtest::LayerTest;
using spectrumtest::PLOT;

namespace {

class SpectrumPixels : public LayerTest {
 protected:
  static void SetUpTestSuite() {
    eng::FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
    view_ = eng::GLView::createOffscreen(eng::Size(960, 640));
  }
  static void TearDownTestSuite() {
    eng::Director::getInstance()->reset();
    view_.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(view_) << "no GL context (is an X display reachable?)";
    eng::Director::getInstance()->setOpenGLView(view_.get());
    LayerTest::SetUp();
  }
  eng::Image frame() {
    eng::Image img;
    eng::Director::getInstance()->requestCapture([&](const eng::Image& f) { img = f; });
    frames(1);
    // To look at what a test saw: TARVO_TEST_PNG_DIR=/some/dir.
    if (const char* dir = std::getenv("TARVO_TEST_PNG_DIR"))
      eng::savePng(std::string(dir) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png",
                   img, true);
    return img;
  }
  // Pixel at window point (x, y), y from the bottom.
  static const uint8_t* at(const eng::Image& img, int x, int y) { return img.pixel(x, img.height - 1 - y); }
  static bool near(const uint8_t* p, Rgb c, int tol = 3) {
    return std::abs(p[0] - c.r) <= tol && std::abs(p[1] - c.g) <= tol && std::abs(p[2] - c.b) <= tol;
  }
  // Whether any pixel of row y between x0 and x1 has colour c.
  static bool rowHas(const eng::Image& img, int y, int x0, int x1, Rgb c) {
    for (int x = x0; x <= x1; ++x)
      if (near(at(img, x, y), c)) return true;
    return false;
  }
  static std::string show(const uint8_t* p) {
    return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
  }

  static inline eng::RefPtr<eng::GLView> view_;
};

TEST_F(SpectrumPixels, KnownSweepDrawnAsRawLandsOnItsPixelsInTheTraceColour) {
  model.spectrum.traceTypes[0] = TRACE_RAW;
  model.spectrum.measureSettings[0] = 0;  // no peak icons over the line
  const Rgb yellow{255, 255, 0};
  for (int c = 0; c < 3; ++c) model.spectrum.traceColors[0][c] = std::array<uint8_t, 3>{255, 255, 0}[size_t(c)];
  place(RssiLayer::create(model));
  // 11 bins, −50 dBm everywhere but a dip to −120 at bin 5 (below the plot's −100 dBm floor).
  std::vector<float> v(11, -50);
  v[5] = -120;
  sweep(v);
  const eng::Image img = frame();
  ASSERT_EQ(img.width, 960);

  const float xStep = PLOT.size.width / 10, H = PLOT.size.height;
  const int yFlat = int(PLOT.getMinY() + 0.5f * H);  // −50 dBm: half-way up
  // On the flat parts the line sits at −50 dBm (2 points wide).
  for (int x : {40, 200, 330, 640, 900})
    EXPECT_TRUE(near(at(img, x, yFlat), yellow) || near(at(img, x, yFlat - 1), yellow)) << "x " << x;
  EXPECT_TRUE(near(at(img, 200, yFlat + 6), Rgb{0, 0, 0})) << show(at(img, 200, yFlat + 6));
  EXPECT_TRUE(near(at(img, 200, yFlat - 6), Rgb{0, 0, 0}));
  // The dip runs from (4 x-steps, −50) down through the bottom edge; inside the plot it is drawn.
  const float x4 = PLOT.getMinX() + 4 * xStep, x5 = PLOT.getMinX() + 5 * xStep;
  const float y5 = PLOT.getMinY() + (-120 + 100) / 100.f * H;
  auto xOnDip = [&](float y) { return x4 + (yFlat - y) / (yFlat - y5) * (x5 - x4); };
  const int y200 = 200;
  EXPECT_TRUE(rowHas(img, y200, int(xOnDip(y200)) - 2, int(xOnDip(y200)) + 2, yellow)) << "dip at y 200";
  // Below the plot (the menu-bar strip) the clipping cuts it off.
  const int yStrip = 30;
  EXPECT_FALSE(rowHas(img, yStrip, int(xOnDip(yStrip)) - 6, int(xOnDip(yStrip)) + 6, yellow)) << "dip in the strip";
  EXPECT_FALSE(rowHas(img, int(PLOT.getMinY()) - 3, 0, 959, yellow));
}

TEST_F(SpectrumPixels, HeatMapShowsTheExpectedColoursAtKnownCells) {
  model.spectrum.traceTypes[0] = TRACE_HEAT_MAP;
  model.spectrum.colorMapA = COLOR_MAP_GREEN;
  place(RssiLayer::create(model));
  constexpr int BINS = 10, LEVELS = 20;
  {
    ModelLock lock(model, LOCK_SPECTRUM);
    SpectrumStore& s = model.band24;
    s.heatMapBins = BINS;
    s.heatMapLevels = LEVELS;
    s.heatMap.assign(BINS * LEVELS, 0);
    s.heatMap[10 * BINS + 3] = 25;  // bin 3: 25 sweeps at level 10
    s.heatMap[4 * BINS + 6] = 5;    // bin 6: 5 sweeps at level 4
    s.heatMapDirty = true;
  }
  frames(1);  // the slot selection is seen in this frame's drawing
  const eng::Image img = frame();
  auto cell = [&](int bin, int level) {
    return at(img, int(PLOT.getMinX() + bin * PLOT.size.width / (BINS - 1)),
              int(PLOT.getMinY() + level * PLOT.size.height / (LEVELS - 1)));
  };
  const auto table = buildColorTable(COLOR_MAP_GREEN, LEVELS);
  const Rgb last = table[LEVELS - 1];  // (0, 255, 0)
  // 25 sweeps at level 10: the full colour where they are (the density is opaque there) ...
  EXPECT_TRUE(near(cell(3, 10), last)) << show(cell(3, 10));
  // ... and the glow alone below them (alpha 85 of the same colour over black).
  EXPECT_TRUE(near(cell(3, 5), Rgb{0, 85, 0})) << show(cell(3, 5));
  EXPECT_TRUE(near(cell(3, 0), Rgb{0, 85, 0})) << show(cell(3, 0));
  // Nothing at or above level 11.
  EXPECT_TRUE(near(cell(3, 14), Rgb{0, 0, 0})) << show(cell(3, 14));
  // Five sweeps: colour entry 4, as glow below level 4.
  const Rgb five = table[4];
  EXPECT_TRUE(near(cell(6, 2), Rgb{0, uint8_t(five.g / 3), 0}, 2)) << show(cell(6, 2));
  // An empty column stays black.
  EXPECT_TRUE(near(cell(8, 2), Rgb{0, 0, 0})) << show(cell(8, 2));
}

TEST_F(SpectrumPixels, WaterfallShowsTheExpectedColoursAtKnownCells) {
  model.spectrum.waterfallOption = 2;  // 100 rows over the height: rows of 5.74 points
  place(WaterfallLayer::create(model));
  auto halves = [](float left, float right) {
    std::vector<float> v(256, left);
    for (int i = 128; i < 256; ++i) v[size_t(i)] = right;
    return v;
  };
  sweep(halves(-85, -61));  // oldest
  sweep(halves(-90, -50));
  sweep(halves(-37, -70));  // newest
  const eng::Image img = frame();
  const auto table = buildColorTable(COLOR_MAP_RAINBOW, 256, ColorTableForm::WATERFALL);
  const WaterfallColorScale scale(model.spectrum.waterfallTopDbm, model.spectrum.waterfallBottomDbm);
  const float row = PLOT.size.height / 100, top = PLOT.getMaxY();
  auto rowY = [&](int age) { return int(top - (age + 0.5f) * row); };
  const int left = 200, right = 700;
  // Newest row at the top: −37 dBm is the top threshold (last colour), −70 an interior entry.
  EXPECT_TRUE(near(at(img, left, rowY(0)), table[255])) << show(at(img, left, rowY(0)));
  EXPECT_TRUE(near(at(img, right, rowY(0)), table[size_t(scale.index(-70))])) << show(at(img, right, rowY(0)));
  // One row down: −90 is below the bottom threshold (transparent: black), −50 interior.
  EXPECT_TRUE(near(at(img, left, rowY(1)), Rgb{0, 0, 0})) << show(at(img, left, rowY(1)));
  EXPECT_TRUE(near(at(img, right, rowY(1)), table[size_t(scale.index(-50))]));
  // Oldest: −85 is the bottom threshold itself (entry 0).
  EXPECT_TRUE(near(at(img, left, rowY(2)), table[0])) << show(at(img, left, rowY(2)));
  EXPECT_TRUE(near(at(img, right, rowY(2)), table[size_t(scale.index(-61))]));
  // Below the stored rows nothing is drawn; bins past the shown 245 stay dark.
  EXPECT_TRUE(near(at(img, left, rowY(3)), Rgb{0, 0, 0}));
  const int binX = int(PLOT.getMinX() + 250.5f * PLOT.size.width / 256);
  EXPECT_TRUE(near(at(img, binX, rowY(0)), Rgb{0, 0, 0})) << show(at(img, binX, rowY(0)));
}

}  // namespace
