// Waterfall rows, cursor markers and the threshold/zoom rules, without a display.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "display/spectrum/WaterfallProcessing.h"

using namespace tarvo;

namespace {

constexpr float TOP = -37.0f, BOTTOM = -85.0f;

class WaterfallRows : public ::testing::Test {
 protected:
  SpectrumStore store{BAND_2G4_ROW_BINS};
  std::vector<uint8_t> buffer = std::vector<uint8_t>(WATERFALL_BUFFER_BYTES, 0xEE);
  std::vector<Rgb> table = buildColorTable(COLOR_MAP_FIRE, 256, ColorTableForm::WATERFALL);
  WaterfallColorScale scale{TOP, BOTTOM};

  // A sweep whose every bin holds `v`.
  void sweep(float v, int bins = 8) {
    std::vector<float> row(static_cast<size_t>(bins), v);
    store.sweepHistory.append(row.data(), bins);
    store.lastSweepBins = bins;
  }
  const uint8_t* texel(const WaterfallPicture& p, int r, int i) const {
    return &buffer[(size_t(r) * p.bins + i) * 4];
  }
  Rgb colorAt(const WaterfallPicture& p, int r, int i) const {
    const uint8_t* t = texel(p, r, i);
    return Rgb{t[0], t[1], t[2]};
  }
};

TEST_F(WaterfallRows, FewerThan500SweepsGiveOnlyTheStoredRowsOldestFirst) {
  sweep(-80);
  sweep(-60);
  sweep(-40);
  const WaterfallPicture p = buildWaterfallRows(store, 100, scale, table.data(), buffer.data(), buffer.size());
  ASSERT_FALSE(p.empty);
  EXPECT_EQ(p.rows, 3);
  EXPECT_EQ(p.bins, 8);
  // Row 0 is the oldest sweep; the layer flips the texture so the last row is at the top.
  EXPECT_EQ(colorAt(p, 0, 0), table[scale.index(-80)]);
  EXPECT_EQ(colorAt(p, 2, 5), table[scale.index(-40)]);
  EXPECT_EQ(texel(p, 1, 3)[3], 255);
  // Nothing is written past the used rows.
  EXPECT_EQ(buffer[size_t(3) * 8 * 4], 0xEE);
}

TEST_F(WaterfallRows, AFullHistoryShowsTheNewest500) {
  for (int i = 0; i < 510; ++i) sweep(-84.0f + (i % 40), 4);
  const WaterfallPicture p = buildWaterfallRows(store, 100, scale, table.data(), buffer.data(), buffer.size());
  EXPECT_EQ(p.rows, 500);
  // Row 0 is history row 10 (sweep 10), the last row sweep 509.
  EXPECT_EQ(colorAt(p, 0, 0), table[scale.index(-84.0f + 10)]);
  EXPECT_EQ(colorAt(p, 499, 0), table[scale.index(-84.0f + (509 % 40))]);
}

TEST_F(WaterfallRows, ThresholdValuesAndHiddenBins) {
  const float row[] = {TOP, BOTTOM, BOTTOM - 0.01f, TOP + 5, std::nanf(""), -60, -60, -60};
  store.sweepHistory.append(row, 8);
  store.lastSweepBins = 8;
  const WaterfallPicture p = buildWaterfallRows(store, 5, scale, table.data(), buffer.data(), buffer.size());
  EXPECT_EQ(colorAt(p, 0, 0), table[255]);  // equal to the top: the last colour
  EXPECT_EQ(texel(p, 0, 0)[3], 255);
  EXPECT_EQ(colorAt(p, 0, 1), table[0]);  // equal to the bottom: entry 0
  EXPECT_EQ(texel(p, 0, 1)[3], 255);
  EXPECT_EQ(texel(p, 0, 2)[3], 0);  // below the bottom: transparent
  EXPECT_EQ(colorAt(p, 0, 3), table[255]);
  EXPECT_EQ(texel(p, 0, 4)[3], 0);  // not a number
  EXPECT_EQ(texel(p, 0, 5)[3], 255);  // bin 5 = bins shown: still drawn
  EXPECT_EQ(texel(p, 0, 6)[3], 0);    // beyond the bins shown
  EXPECT_EQ(colorAt(p, 0, 5), table[static_cast<int>(-60.0f * scale.scale + scale.offset)]);
}

TEST_F(WaterfallRows, EmptyOrOversizedHistories) {
  WaterfallPicture p = buildWaterfallRows(store, 100, scale, table.data(), buffer.data(), buffer.size());
  EXPECT_TRUE(p.empty);
  sweep(-50);
  p = buildWaterfallRows(store, 100, scale, table.data(), buffer.data(), 16);  // too small a buffer
  EXPECT_TRUE(p.tooLarge);
  EXPECT_EQ(buffer[0], 0xEE);
  // Before any sweep the bin count is the row size.
  SpectrumStore five{BAND_5G_ROW_BINS};
  EXPECT_EQ(waterfallBinCount(five), 512);
}

TEST(WaterfallColorScale, IndexStaysInTheTable) {
  const WaterfallColorScale s(TOP, BOTTOM);
  EXPECT_EQ(s.index(BOTTOM), 0);
  EXPECT_EQ(s.index(TOP - 0.0001f), 254);
  EXPECT_EQ(s.index(TOP + 100), 255);
  EXPECT_EQ(s.index(-1e9f), 0);
  EXPECT_EQ(s.entryFor(TOP), 255);
  // Thresholds swapped by a settings blob: nothing is shown below the bottom, everything at or
  // above it takes the last colour, and no index leaves the table.
  const WaterfallColorScale swapped(-80, -40);
  EXPECT_TRUE(swapped.hidden(-41));
  EXPECT_EQ(swapped.entryFor(-30), 255);
}

// --- markers -------------------------------------------------------------------------------------

class WaterfallMarkers : public WaterfallRows {
 protected:
  std::array<MarkerSlot, MARKER_SLOT_COUNT> slots;
  WaterfallMarker out[MARKER_SLOT_COUNT];
  WaterfallMarkerInput in;

  void SetUp() override {
    in.width = 800;
    in.height = 500;
    in.binsShown = 8;
    in.rowMarkers = 5;
    in.columnMarkers = 5;
    in.cursorX[0] = in.cursorX[1] = -1000;  // left of the layer: no column markers
    in.cursorY[0] = in.cursorY[1] = 1e6f;  // above the layer: no row markers
  }
};

TEST_F(WaterfallMarkers, HorizontalLineMarksTheStrongestBinsOfItsSweep) {
  for (int i = 0; i < 10; ++i) sweep(-90);
  const float newest[] = {-70, -50, -90, -50, -60, -40, -86, -80};
  store.sweepHistory.append(newest, 8);
  in.cursorY[0] = 500;  // the top edge: age 0
  in.rowMarkers = 3;
  const int n = findWaterfallMarkers(store, in, scale, slots, out);
  ASSERT_EQ(n, 3);
  // Group 0: bins 5, 1, 3 (−50 twice, the lower bin first), then 4 and 0; −86 and −90 are below
  // the bottom threshold and never enter.
  const int bins[] = {5, 1, 3, 4, 0};
  for (int s = 0; s < 5; ++s) EXPECT_EQ(slots[s].index, bins[s]) << s;
  EXPECT_FLOAT_EQ(out[0].x, 5.5f * 100);
  EXPECT_FLOAT_EQ(out[0].y, 500);
  EXPECT_EQ(out[0].colorIndex, scale.index(-40));
  // The other groups stay empty.
  for (int s = 5; s < 20; ++s) EXPECT_EQ(slots[s].index, -1) << s;
}

TEST_F(WaterfallMarkers, VerticalLineMarksTheStrongestAgesOnScreen) {
  // Bin 2 is strong in the sweeps of ages 0, 100 and 300 (301 sweeps in all).
  for (int i = 0; i <= 300; ++i) {
    const int age = 300 - i;
    sweep(age == 0 ? -45 : age == 100 ? -40 : age == 300 ? -38 : -80);
  }
  in.cursorX[1] = 250;  // bin trunc(8 × 250 ÷ 800) = 2, cursor 2
  in.columnMarkers = 5;
  int n = findWaterfallMarkers(store, in, scale, slots, out);
  const MarkerSlot* group = slots.data() + 15;  // cursor 2, vertical line
  EXPECT_EQ(group[0].index, 300);
  EXPECT_EQ(group[1].index, 100);
  EXPECT_EQ(group[2].index, 0);
  EXPECT_EQ(n, 5);
  EXPECT_FLOAT_EQ(out[0].x, 250);
  EXPECT_NEAR(out[0].y, 500 - 300 * 500 / 499.0f, 1e-3);
  EXPECT_NEAR(out[2].y, 500, 1e-3);

  // At zoom 5 only the newest 100 rows are on screen: age 300 and age 100 are not searched.
  in.zoomDivisor = 5;
  n = findWaterfallMarkers(store, in, scale, slots, out);
  EXPECT_EQ(group[0].index, 0);
  EXPECT_FLOAT_EQ(group[0].value, -45);
  for (int s = 0; s < n; ++s) EXPECT_GE(out[s].y, 0.0f) << s;

  // A cursor beyond the bins shown marks nothing on its column.
  in.binsShown = 2;
  findWaterfallMarkers(store, in, scale, slots, out);
  EXPECT_EQ(group[0].index, -1);
}

TEST_F(WaterfallMarkers, EmptyHistoryOrZeroCountsPlaceNothing) {
  in.cursorY[0] = 400;
  EXPECT_EQ(findWaterfallMarkers(store, in, scale, slots, out), 0);
  sweep(-50);
  in.cursorY[0] = 500;
  in.rowMarkers = 0;
  EXPECT_EQ(findWaterfallMarkers(store, in, scale, slots, out), 0);
  EXPECT_EQ(slots[0].index, 0);  // the group is still filled for the read-outs
}

// --- thresholds, zoom, fade ----------------------------------------------------------------------

TEST(WaterfallThresholds, DraggingOnePastTheOtherPullsOrPushesIt) {
  float top = -37, bottom = -85;
  dragThreshold(DRAG_UPPER, -100, 2.0f, top, bottom);  // −50 dB
  EXPECT_FLOAT_EQ(top, -87);
  EXPECT_FLOAT_EQ(bottom, -87);  // pulled down with it
  top = -37, bottom = -85;
  dragThreshold(DRAG_LOWER, 120, 2.0f, top, bottom);  // +60 dB
  EXPECT_FLOAT_EQ(bottom, -25);
  EXPECT_FLOAT_EQ(top, -25);  // pushed up
  top = -37, bottom = -85;
  dragThreshold(DRAG_UPPER, 10, 2.0f, top, bottom);
  EXPECT_FLOAT_EQ(top, -32);
  EXPECT_FLOAT_EQ(bottom, -85);
  dragThreshold(DRAG_NONE, 10, 2.0f, top, bottom);
  dragThreshold(DRAG_PINCH, 10, 2.0f, top, bottom);
  dragThreshold(DRAG_UPPER, 10, 0.0f, top, bottom);  // no range: no change
  EXPECT_FLOAT_EQ(top, -32);
}

TEST(WaterfallZoom, StepsStopAtTheEnds) {
  EXPECT_EQ(stepZoomOption(0, true), 1);
  EXPECT_EQ(stepZoomOption(1, true), 2);
  EXPECT_EQ(stepZoomOption(2, true), 2);
  EXPECT_EQ(stepZoomOption(2, false), 1);
  EXPECT_EQ(stepZoomOption(0, false), 0);
  EXPECT_EQ(stepZoomOption(9, true), 2);  // an unknown option counts as 1
  EXPECT_EQ(waterfallZoomDivisor(0), 1);
  EXPECT_EQ(waterfallZoomDivisor(1), 2);
  EXPECT_EQ(waterfallZoomDivisor(2), 5);
  EXPECT_EQ(waterfallZoomDivisor(-3), 1);
}

TEST(WaterfallFade, ReadoutsFadeOverOneSecond) {
  float fade = fadeLevel(0.3f, true, 1.f / 60);
  EXPECT_FLOAT_EQ(fade, 1.0f);
  int frames = 0;
  while (fade > 0 && frames < 1000) {
    fade = fadeLevel(fade, false, 1.f / 60);
    ++frames;
  }
  EXPECT_NEAR(frames, 60, 1);
  EXPECT_FLOAT_EQ(fadeLevel(fade, false, 1.f / 60), fade);  // stays at or below 0
}

}  // namespace
