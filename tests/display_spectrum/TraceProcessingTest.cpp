// Trace processing without a display: RAW, DECAY, AVERAGE, MAX/MIN HOLD, peak tables, cursor
// samples and the heat-map pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "display/spectrum/TraceProcessing.h"

using namespace tarvo;

namespace {

class Processing : public ::testing::Test {
 protected:
  SpectrumStore store{BAND_2G4_ROW_BINS};
  TraceProcessingSettings settings;  // hold 1 s, decay 2 dB, average 1 s, period 0.1 s

  // Appends a sweep of n bins as the packet handler does and processes it.
  void sweep(const std::vector<float>& values) {
    store.sweepHistory.append(values.data(), static_cast<int>(values.size()));
    store.lastSweepBins = static_cast<int>(values.size());
    store.newSweep = true;
    processSweep(store, settings);
  }
  void flat(float v, int n = 8) { sweep(std::vector<float>(static_cast<size_t>(n), v)); }
  static std::vector<float> take(const std::vector<float>& t, int n) { return {t.begin(), t.begin() + n}; }
};

TEST_F(Processing, FirstSweepInitialisesEveryTrace) {
  const std::vector<float> s{-80, -70, -60, -50, -55, -65, -75, -85};
  sweep(s);
  EXPECT_EQ(store.processedBins, 8);
  for (const auto* t : {&store.rawTrace, &store.decayTrace, &store.averageTrace, &store.maxHoldTrace, &store.minHoldTrace})
    EXPECT_EQ(take(*t, 8), s);
  EXPECT_FALSE(store.newSweep);
  EXPECT_TRUE(store.tracesProcessed);

  // After a store reset (band change, reconfiguration) the next sweep starts every trace again,
  // even though the traces still hold older values.
  flat(-20);
  store.reset();
  sweep(s);
  for (const auto* t : {&store.decayTrace, &store.averageTrace, &store.maxHoldTrace, &store.minHoldTrace})
    EXPECT_EQ(take(*t, 8), s);
}

TEST_F(Processing, HoldShorterThanOneSweepOnlyDecays) {
  settings.holdTimeSeconds = 0.05f;  // k = 0
  flat(-50);
  flat(-40);  // higher than DECAY, but no sweep is inside the hold window
  EXPECT_FLOAT_EQ(store.decayTrace[0], -52.0f);
  flat(-30);
  EXPECT_FLOAT_EQ(store.decayTrace[3], -54.0f);
  // With a decay of 0 dB it holds its value.
  settings.decayDb = 0;
  flat(-10);
  EXPECT_FLOAT_EQ(store.decayTrace[7], -54.0f);
}

TEST_F(Processing, DecayRisesToTheSweepsInsideTheHoldWindow) {
  settings.holdTimeSeconds = 0.3f;  // k = 3 at 0.1 s per sweep
  sweep({-60, -60, -60});
  sweep({-30, -60, -60});
  sweep({-60, -40, -60});
  sweep({-60, -60, -60});
  // Newest three sweeps: bin 0 peaked at −30 two sweeps ago, bin 1 at −40 one sweep ago.
  EXPECT_EQ(take(store.decayTrace, 3), (std::vector<float>{-30, -40, -60}));
  sweep({-60, -60, -60});
  sweep({-60, -60, -60});
  // The −30 has left the window: DECAY falls by 2 dB per sweep from where it was.
  EXPECT_FLOAT_EQ(store.decayTrace[0], -34.0f);
  EXPECT_FLOAT_EQ(store.decayTrace[1], -42.0f);  // −40 left the window one sweep ago
  EXPECT_FLOAT_EQ(store.decayTrace[2], -60.0f);  // held up by the floor the window still holds
}

TEST_F(Processing, AverageWindow) {
  settings.averageTimeSeconds = 0.05f;  // m = 0: keeps its values
  flat(-50);
  flat(-10);
  flat(-90);
  EXPECT_FLOAT_EQ(store.averageTrace[0], -50.0f);

  settings.averageTimeSeconds = 0.2f;  // m = 2
  flat(-20);
  EXPECT_FLOAT_EQ(store.averageTrace[5], -55.0f);  // (−20 + −90) ÷ 2

  settings.averageTimeSeconds = 0.1f;  // m = 1: the newest sweep, not divided
  flat(-33);
  EXPECT_FLOAT_EQ(store.averageTrace[2], -33.0f);

  settings.averageTimeSeconds = 100.0f;  // more than the history: all six rows
  flat(-35);
  EXPECT_FLOAT_EQ(store.averageTrace[1], (-50.0f - 10 - 90 - 20 - 33 - 35) / 6);
}

TEST_F(Processing, HoldTracesKeepTheExtremes) {
  sweep({-50, -50});
  sweep({-40, -60});
  sweep({-45, -55});
  EXPECT_EQ(take(store.maxHoldTrace, 2), (std::vector<float>{-40, -50}));
  EXPECT_EQ(take(store.minHoldTrace, 2), (std::vector<float>{-50, -60}));
  EXPECT_EQ(take(store.rawTrace, 2), (std::vector<float>{-45, -55}));
}

TEST_F(Processing, WindowsOfDegeneratePeriods) {
  EXPECT_EQ(sweepsInWindow(1.0f, 0.1f, 510), 10);
  EXPECT_EQ(sweepsInWindow(1.0f, 0.1f, 4), 4);
  EXPECT_EQ(sweepsInWindow(1.0f, 0.0f, 7), 7);   // no period: the whole history
  EXPECT_EQ(sweepsInWindow(0.0f, 0.0f, 7), 0);   // 0 ÷ 0
  EXPECT_EQ(sweepsInWindow(-1.0f, 0.1f, 7), 0);  // negative window
  EXPECT_EQ(sweepsInWindow(std::nanf(""), 0.1f, 7), 0);
  EXPECT_EQ(sweepsInWindow(1e30f, 1e-30f, 7), 7);
}

TEST_F(Processing, BinCountOfTheNewestSweep) {
  store.lastSweepBins = -1;
  EXPECT_EQ(processedBinCount(store), 256);
  store.lastSweepBins = 255;
  EXPECT_EQ(processedBinCount(store), 255);
  store.lastSweepBins = 256;  // above row size − 1: the row size
  EXPECT_EQ(processedBinCount(store), 256);
  store.lastSweepBins = 9999;
  EXPECT_EQ(processedBinCount(store), 256);
  store.lastSweepBins = 0;
  EXPECT_EQ(processedBinCount(store), 0);

  // An empty history processes nothing and marks the next sweep as the first.
  SpectrumStore empty{BAND_5G_ROW_BINS};
  empty.processedBins = 40;
  processSweep(empty, settings);
  EXPECT_EQ(empty.processedBins, 0);
  EXPECT_TRUE(empty.tracesProcessed);
  EXPECT_FALSE(empty.newSweep);
}

TEST(PeakTable, StrongestBinsDescendingWithEqualValuesLowerBinFirst) {
  std::array<PeakEntry, PEAKS_PER_TRACE> t;
  const float v[] = {-70, -20, -50, -20, -90, -30, -20, -60, std::nanf(""), -40};
  buildPeakTable(v, 10, t);
  const int bins[] = {1, 3, 6, 5, 9};
  const float values[] = {-20, -20, -20, -30, -40};
  for (int s = 0; s < 5; ++s) {
    EXPECT_EQ(t[s].index, bins[s]) << "slot " << s;
    EXPECT_FLOAT_EQ(t[s].value, values[s]) << "slot " << s;
  }
  // Fewer bins than slots: the rest stay empty.
  const float two[] = {-10, -10};
  buildPeakTable(two, 2, t);
  EXPECT_EQ(t[0].index, 0);
  EXPECT_EQ(t[1].index, 1);
  for (int s = 2; s < 5; ++s) {
    EXPECT_EQ(t[s].index, -1);
    EXPECT_TRUE(std::isnan(t[s].value));
  }
}

TEST_F(Processing, PeakTablesOfAllFiveTraces) {
  sweep({-50, -20, -50, -20, -50, -50});
  sweep({-10, -60, -60, -60, -60, -60});
  // RAW: bin 0; MAX HOLD: bin 0 (−10) then bins 1 and 3 (−20, equal: lower first).
  EXPECT_EQ(store.peakTables[TRACE_RAW - 1][0].index, 0);
  EXPECT_EQ(store.peakTables[TRACE_MAX_HOLD - 1][0].index, 0);
  EXPECT_EQ(store.peakTables[TRACE_MAX_HOLD - 1][1].index, 1);
  EXPECT_EQ(store.peakTables[TRACE_MAX_HOLD - 1][2].index, 3);
  // MIN HOLD of bin 0 is −50, the strongest of the minima.
  EXPECT_EQ(store.peakTables[TRACE_MIN_HOLD - 1][0].index, 0);
  EXPECT_FLOAT_EQ(store.peakTables[TRACE_MIN_HOLD - 1][0].value, -50.0f);
}

TEST_F(Processing, CursorSamples) {
  sweep({-80, -60, -40, -20});
  const TraceScale scale = traceScale(4, 300, 100, -100, 0);
  EXPECT_FLOAT_EQ(scale.xStep, 100.0f);
  EXPECT_FLOAT_EQ(scale.y(-100), 0.0f);
  EXPECT_FLOAT_EQ(scale.y(0), 100.0f);

  CursorSample c;
  ASSERT_TRUE(sampleTraces(store, 300, 150, scale, c));  // p = 1.5
  EXPECT_EQ(c.index, 1);
  EXPECT_FLOAT_EQ(c.values[0], -50.0f);
  EXPECT_FLOAT_EQ(c.heights[0], 50.0f);
  for (int k = 1; k < 5; ++k) EXPECT_FLOAT_EQ(c.values[k], -50.0f);

  // Exactly at the right edge: the last bin, no interpolation with a bin past the end.
  ASSERT_TRUE(sampleTraces(store, 300, 300, scale, c));
  EXPECT_EQ(c.index, 3);
  EXPECT_FLOAT_EQ(c.values[0], -20.0f);
  EXPECT_FLOAT_EQ(c.heights[3], 80.0f);
  // Beyond either edge: clamped.
  ASSERT_TRUE(sampleTraces(store, 300, 5000, scale, c));
  EXPECT_EQ(c.index, 3);
  ASSERT_TRUE(sampleTraces(store, 300, -40, scale, c));
  EXPECT_EQ(c.index, 0);
  EXPECT_FLOAT_EQ(c.values[2], -80.0f);
}

TEST_F(Processing, OneBinTraceTakesNoCursorSample) {
  sweep({-42});
  EXPECT_EQ(store.processedBins, 1);
  CursorSample c;
  c.index = 77;
  c.values[0] = 1.5f;
  EXPECT_FALSE(sampleTraces(store, 300, 150, traceScale(1, 300, 100, -100, 0), c));
  EXPECT_EQ(c.index, 77);
  EXPECT_FLOAT_EQ(c.values[0], 1.5f);
}

// --- heat map ----------------------------------------------------------------------------------

class HeatMapPixels : public ::testing::Test {
 protected:
  static constexpr int BINS = 4, LEVELS = 20;
  SpectrumStore store{BAND_2G4_ROW_BINS};
  std::vector<uint8_t> glow = std::vector<uint8_t>(HEAT_MAP_BUFFER_BYTES, 7);
  std::vector<uint8_t> density = std::vector<uint8_t>(HEAT_MAP_BUFFER_BYTES, 7);

  void SetUp() override {
    store.heatMapBins = BINS;
    store.heatMapLevels = LEVELS;
    store.heatMap.assign(BINS * LEVELS, 0);
    store.heatMapDirty = true;
    store.heatMapAccumulated = false;
  }
  uint16_t& count(int level, int bin) { return store.heatMap[size_t(level) * BINS + bin]; }
  const uint8_t* g(int level, int bin) const { return &glow[(size_t(level) * BINS + bin) * 4]; }
  const uint8_t* d(int level, int bin) const { return &density[(size_t(level) * BINS + bin) * 4]; }
  // Grey ramp over 20 levels: entry i = trunc(255 i ÷ 19); colour index = a − 1 here.
  static int grey(int i) { return 255 * i / 19; }
};

TEST_F(HeatMapPixels, AccumulatedCountsPickColoursAndTwentyOrMoreTakeTheLast) {
  count(0, 0) = 20;               // one level full
  count(5, 1) = 3;                // a column with two levels
  count(10, 1) = 2;
  count(0, 2) = 19;               // 19 + 1 above = 20 at level 0
  count(1, 2) = 1;
  count(0, 3) = 35;               // far over
  const HeatMapPicture pic = buildHeatMapPixels(store, 9, glow.data(), density.data(), glow.size());
  ASSERT_EQ(pic.result, HeatMapBuild::BUILT);
  EXPECT_EQ(pic.width, BINS);
  EXPECT_EQ(pic.height, LEVELS);
  EXPECT_FALSE(store.heatMapDirty);

  // Accumulated in place, downwards.
  EXPECT_EQ(count(3, 1), 5);
  EXPECT_EQ(count(8, 1), 2);
  EXPECT_EQ(count(11, 1), 0);
  EXPECT_EQ(count(0, 2), 20);

  // 20 or more: the last colour of the table, density alpha 255 from the raw count.
  for (int bin : {0, 2, 3}) {
    EXPECT_EQ(g(0, bin)[0], 255) << bin;
    EXPECT_EQ(g(0, bin)[3], HEAT_MAP_GLOW_ALPHA);
    EXPECT_EQ(d(0, bin)[0], 255);
  }
  EXPECT_EQ(d(0, 0)[3], 255);
  EXPECT_EQ(d(0, 2)[3], static_cast<uint8_t>((18 * 0.65 / 19 + 0.35) * 255));  // raw 19
  // Accumulated 5 → entry 4; raw 3 at level 5 → alpha ramp; raw 0 below it → alpha 0.
  EXPECT_EQ(g(3, 1)[0], grey(4));
  EXPECT_EQ(d(3, 1)[1], grey(4));
  EXPECT_EQ(d(3, 1)[3], 0);
  EXPECT_EQ(d(5, 1)[3], static_cast<uint8_t>((2 * 0.65 / 19 + 0.35) * 255));
  EXPECT_EQ(g(1, 2)[0], grey(0));  // accumulated 1 → entry 0
  // Nothing at or above a level: transparent black in both.
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(g(12, 1)[i], 0);
    EXPECT_EQ(d(12, 1)[i], 0);
  }
}

TEST_F(HeatMapPixels, ColourIndexSpreadsOverTallTables) {
  EXPECT_EQ(heatMapColorIndex(1, 256), 0);
  EXPECT_EQ(heatMapColorIndex(19, 256), 13 * 18);  // (255 ÷ 19) × 18 = 234 < 256
  EXPECT_EQ(heatMapColorIndex(19, 20), 18);
  EXPECT_EQ(heatMapDensityAlpha(0), 0);
  EXPECT_EQ(heatMapDensityAlpha(1), static_cast<uint8_t>(0.35 * 255));
  EXPECT_EQ(heatMapDensityAlpha(20), 255);
  EXPECT_EQ(heatMapDensityAlpha(5000), 255);
}

TEST_F(HeatMapPixels, AnAccumulatedMapIsNotAccumulatedTwice) {
  count(0, 0) = 2;
  count(1, 0) = 3;
  store.heatMapAccumulated = true;  // e.g. a resize re-marked a map this layer already summed
  buildHeatMapPixels(store, 9, glow.data(), density.data(), glow.size());
  EXPECT_EQ(count(0, 0), 2);
  EXPECT_FALSE(store.heatMapAccumulated);
  EXPECT_EQ(g(0, 0)[0], grey(1));
}

TEST_F(HeatMapPixels, TooLargeOrEmptyMaps) {
  // Wider than the texture: nothing is touched and the map stays dirty.
  store.heatMapBins = 600;
  store.heatMapLevels = 2;
  store.heatMap.assign(1200, 1);
  EXPECT_EQ(buildHeatMapPixels(store, 0, glow.data(), density.data(), glow.size()).result, HeatMapBuild::TOO_LARGE);
  EXPECT_TRUE(store.heatMapDirty);
  EXPECT_EQ(glow[0], 7);
  // Taller than the texture, though the byte count would fit.
  store.heatMapBins = 100;
  store.heatMapLevels = 1000;
  store.heatMap.assign(100000, 1);
  EXPECT_EQ(buildHeatMapPixels(store, 0, glow.data(), density.data(), glow.size()).result, HeatMapBuild::TOO_LARGE);
  // A histogram shorter than its stated size.
  store.heatMapBins = 4;
  store.heatMapLevels = 20;
  store.heatMap.assign(10, 1);
  EXPECT_EQ(buildHeatMapPixels(store, 0, glow.data(), density.data(), glow.size()).result, HeatMapBuild::TOO_LARGE);

  // No histogram: both pictures cleared, consumed.
  store.heatMapBins = 0;
  store.heatMap.clear();
  EXPECT_EQ(buildHeatMapPixels(store, 0, glow.data(), density.data(), glow.size()).result, HeatMapBuild::EMPTY);
  EXPECT_FALSE(store.heatMapDirty);
  EXPECT_EQ(glow[HEAT_MAP_BUFFER_BYTES - 1], 0);
  EXPECT_EQ(density[0], 0);
}

}  // namespace
