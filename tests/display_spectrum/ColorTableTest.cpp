// Colour maps: both ends and a few interior entries of every map, in both forms.
#include <gtest/gtest.h>

#include <cmath>

#include "display/spectrum/ColorTable.h"

using namespace tarvo;

namespace {

struct Entry {
  const char* what;
  int index;
  int n;
  ColorTableForm form;
  int i;
  Rgb expected;
};

constexpr auto HEAT = ColorTableForm::HEAT_MAP;
constexpr auto FALL = ColorTableForm::WATERFALL;

// Interior RAINBOW values are worked out with the hue conversion by hand (and checked away from
// truncation boundaries); the ramps by their blend formulas.
const Entry ENTRIES[] = {
    {"rainbow heat bottom is purple", 0, 256, HEAT, 0, {255, 0, 255}},
    {"rainbow heat top is red", 0, 256, HEAT, 255, {255, 0, 0}},
    {"rainbow heat 1/6 (hue 250)", 0, 7, HEAT, 1, {42, 0, 255}},
    {"rainbow heat 1/2 (hue 150)", 0, 7, HEAT, 3, {0, 255, 127}},
    {"rainbow heat top of a short table", 0, 7, HEAT, 6, {255, 0, 0}},
    {"rainbow waterfall bottom (hue 255)", 0, 256, FALL, 0, {63, 0, 255}},
    {"rainbow waterfall top is red", 0, 256, FALL, 255, {255, 0, 0}},
    {"rainbow waterfall 30", 0, 256, FALL, 30, {9, 0, 255}},
    {"rainbow waterfall 128", 0, 256, FALL, 128, {0, 255, 28}},
    {"rainbow waterfall 200", 0, 256, FALL, 200, {255, 127, 0}},
    {"fire bottom", 1, 256, HEAT, 0, {85, 0, 0}},
    {"fire 40: red rising", 1, 256, HEAT, 40, {165, 0, 0}},
    {"fire 85: full red", 1, 256, HEAT, 85, {255, 0, 0}},
    {"fire 120: green rising", 1, 256, HEAT, 120, {255, 105, 0}},
    {"fire 170: yellow", 1, 256, HEAT, 170, {255, 255, 0}},
    {"fire 200: blue rising", 1, 256, HEAT, 200, {255, 255, 90}},
    {"fire top is white", 1, 256, HEAT, 255, {255, 255, 255}},
    {"fire in a 20-level table, entry 10 (v 134)", 1, 20, HEAT, 10, {255, 147, 0}},
    {"fire waterfall form ignores n", 1, 7, FALL, 85, {255, 0, 0}},
    {"x-ray bottom", 2, 256, HEAT, 0, {86, 93, 84}},
    {"x-ray 128", 2, 256, HEAT, 128, {130, 169, 159}},
    {"x-ray top", 2, 256, HEAT, 255, {174, 246, 235}},
    {"green bottom", 3, 256, HEAT, 0, {0, 50, 0}},
    {"green 100", 3, 256, HEAT, 100, {0, 130, 0}},
    {"green top", 3, 256, HEAT, 255, {0, 255, 0}},
    {"grey bottom", 4, 256, HEAT, 0, {0, 0, 0}},
    {"grey 77", 4, 256, HEAT, 77, {77, 77, 77}},
    {"grey top", 4, 256, HEAT, 255, {255, 255, 255}},
    {"grey for a negative index", -1, 11, HEAT, 5, {127, 127, 127}},
    {"grey for index 99, waterfall", 99, 0, FALL, 255, {255, 255, 255}},
};

TEST(ColorTable, EndsAndInteriorEntriesOfEveryMap) {
  for (const Entry& e : ENTRIES) {
    const std::vector<Rgb> table = buildColorTable(e.index, e.n, e.form);
    ASSERT_GT(static_cast<int>(table.size()), e.i) << e.what;
    const Rgb got = table[static_cast<size_t>(e.i)];
    EXPECT_EQ(got, e.expected) << e.what << ": got " << int(got.r) << "," << int(got.g) << "," << int(got.b);
  }
}

TEST(ColorTable, SizesFollowTheFormAndDegenerateCountsAreSafe) {
  EXPECT_EQ(buildColorTable(0, 37, HEAT).size(), 37u);
  EXPECT_EQ(buildColorTable(0, 37, FALL).size(), 256u);
  EXPECT_EQ(buildColorTable(2, 3, FALL).size(), 256u);
  EXPECT_TRUE(buildColorTable(1, 0, HEAT).empty());
  EXPECT_TRUE(buildColorTable(1, -5, HEAT).empty());
  // A one-level table holds the bottom colour, with no division by zero.
  const auto one = buildColorTable(1, 1, HEAT);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0], (Rgb{85, 0, 0}));
  const auto oneRainbow = buildColorTable(0, 1, HEAT);
  EXPECT_EQ(oneRainbow[0], (Rgb{255, 0, 255}));
}

TEST(ColorTable, HueConversionEdges) {
  EXPECT_EQ(hsvToRgb(0, 1, 1), (Rgb{255, 0, 0}));
  EXPECT_EQ(hsvToRgb(120, 1, 1), (Rgb{0, 255, 0}));
  EXPECT_EQ(hsvToRgb(240, 1, 1), (Rgb{0, 0, 255}));
  // Exactly 360 is read as 359.99: still red, a hair of blue truncated away.
  EXPECT_EQ(hsvToRgb(360, 1, 1), (Rgb{255, 0, 0}));
  // Outside the six sectors: black.
  EXPECT_EQ(hsvToRgb(-10, 1, 1), (Rgb{0, 0, 0}));
  EXPECT_EQ(hsvToRgb(400, 1, 1), (Rgb{0, 0, 0}));
  EXPECT_EQ(hsvToRgb(std::nanf(""), 1, 1), (Rgb{0, 0, 0}));
}

TEST(ColorTable, CacheRebuildsOnlyOnChange) {
  ColorTableCache cache;
  const Rgb* a = cache.get(1, 256, FALL);
  EXPECT_EQ(a[0], (Rgb{85, 0, 0}));
  EXPECT_EQ(cache.size(), 256);
  const Rgb* b = cache.get(3, 256, FALL);
  EXPECT_EQ(b[0], (Rgb{0, 50, 0}));
  const Rgb* c = cache.get(3, 20, HEAT);
  EXPECT_EQ(cache.size(), 20);
  EXPECT_EQ(c[19], (Rgb{0, 255, 0}));
  EXPECT_STREQ(colorMapName(2), "X-RAY");
  EXPECT_EQ(colorMapName(4), nullptr);
}

}  // namespace
