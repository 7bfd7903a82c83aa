// Heat map: level clamping of hostile values and the incremental counts against a direct
// rebuild from the history.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "PipelineHarness.h"
#include "acquisition/pipeline/HeatMap.h"

namespace tarvo {
namespace {

using namespace tarvo::testing;

// The level rule written plainly: round half away from zero, clamp into 0 ... L - 1, NaN -> 0.
uint32_t referenceLevel(float v, float scale, float offset, uint32_t levels) {
  const float x = v * scale + offset;
  if (std::isnan(x)) return 0;
  const float r = std::round(x);
  if (r <= 0.0f) return 0;
  if (r >= static_cast<float>(levels)) return levels - 1;
  return static_cast<uint32_t>(r);
}

// The map rebuilt from scratch over the newest 50 rows.
std::vector<uint16_t> referenceMap(const SweepHistory& h, uint32_t levels, int bins, float lo, float hi) {
  levels = heatMapLevelsFor(levels);
  const HeatMapScale s = heatMapScaleFor(levels, lo, hi);
  std::vector<uint16_t> cells(static_cast<size_t>(levels) * bins, 0);
  for (int age = 0; age < std::min(50, h.size()); ++age)
    for (int j = 0; j < bins; ++j) ++cells[referenceLevel(h.rowByAge(age)[j], s.scale, s.offset, levels) * bins + j];
  return cells;
}

TEST(HeatMapLevel, MatchesRoundAndClamp) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float specials[] = {nan, inf, -inf, 0.0f, -0.0f, 0.5f, 1.5f, 2.5f, -0.5f, 254.5f, 255.49998f, 255.5f, 1e30f};
  for (uint32_t levels : {1u, 2u, 100u, 236u, 256u}) {
    const HeatMapScale unit{1.0f, 0.0f};
    for (float v : specials)
      EXPECT_EQ(heatMapLevel(v, unit, levels), referenceLevel(v, 1.0f, 0.0f, levels)) << v << " of " << levels;
    std::mt19937 rng(levels);
    std::uniform_real_distribution<float> value(-150.0f, 20.0f);
    const HeatMapScale s = heatMapScaleFor(levels, -110.0f, -10.0f);
    for (int i = 0; i < 20000; ++i) {
      const float v = value(rng);
      ASSERT_EQ(heatMapLevel(v, s, levels), referenceLevel(v, s.scale, s.offset, levels)) << v;
    }
  }
  // Halves go away from zero: 2.5 is level 3, not 2.
  EXPECT_EQ(heatMapLevel(2.5f, HeatMapScale{1.0f, 0.0f}, 10), 3u);
}

TEST(HeatMapLevel, DeviceLevelCountsAreClamped) {
  EXPECT_EQ(heatMapLevelsFor(0), 1u);
  EXPECT_EQ(heatMapLevelsFor(236), 236u);
  EXPECT_EQ(heatMapLevelsFor(100000), 256u);
}

// Random sweeps (some NaN, infinite or far outside the range) through a counter, with store
// resets, changes of the range and level count, and a display that consumes the published map
// now and then; after every row the published map must equal a direct rebuild.
TEST(HeatMapCounter, EqualsDirectRebuild) {
  SpectrumStore store(BAND_5G_ROW_BINS);
  HeatMapCounter counter;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> value(-130.0f, 0.0f);
  std::uniform_int_distribution<int> percent(0, 99);
  uint32_t levels = 200;
  float lo = -110.0f, hi = -20.0f;
  int bins = 512;
  std::vector<float> row(512);
  for (int sweep = 0; sweep < 700; ++sweep) {
    SCOPED_TRACE(sweep);
    const int p = percent(rng);
    if (p < 2) store.reset();
    if (p == 2) levels = 100 + percent(rng);
    if (p == 3) lo = -120.0f + percent(rng) / 10.0f;
    if (p == 4) bins = 256 + percent(rng);
    for (auto& v : row) v = value(rng);
    if (p == 5) row[3] = std::numeric_limits<float>::quiet_NaN();
    if (p == 6) row[4] = std::numeric_limits<float>::infinity();
    store.sweepHistory.append(row.data(), bins);
    counter.rowAppended(store, levels, bins, lo, hi);
    ASSERT_EQ(store.heatMap, referenceMap(store.sweepHistory, levels, bins, lo, hi));
    ASSERT_EQ(store.heatMapBins, bins);
    ASSERT_EQ(store.heatMapLevels, static_cast<int32_t>(levels));
    // The trace layer accumulates the published map in place and clears the dirty flag.
    if (p % 3 == 0) {
      for (int j = 0; j < bins; ++j)
        for (int l = static_cast<int>(levels) - 2; l >= 0; --l)
          store.heatMap[l * bins + j] += store.heatMap[(l + 1) * bins + j];
      store.heatMapDirty = false;
      if (p % 2 == 0) {  // a redraw request: dirty again, but marked as accumulated
        store.heatMapAccumulated = true;
        store.heatMapDirty = true;
      } else if (p % 5 == 0) {  // a redraw request that only sets the dirty flag
        store.heatMapDirty = true;
      }
    } else {
      store.heatMapAccumulated = false;
    }
  }
}

class HeatMapThroughHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    DiscoverSpec spec;
    spec.generation = 7;
    h.feed(discoverFrame(spec));
  }
  void withInfo(void (*edit)(DeviceInfo&)) {
    DeviceInfo info = *h.model.deviceInfo();
    edit(info);
    h.model.setDeviceInfo(info);
  }
  PipelineHarness h;
};

TEST_F(HeatMapThroughHandler, NanRangePutsEverythingInLevelZero) {
  withInfo([](DeviceInfo& i) { i.band1MinDbm = i.band1MaxDbm = notAvailable(); });
  for (int i = 0; i < 3; ++i) h.feed(spectrumFrame(7, 0, 0, std::vector<uint8_t>(256, 100)));
  const SpectrumStore& s = h.model.band24;
  ASSERT_EQ(s.heatMap.size(), 256u * 256u);
  for (int j = 0; j < 256; ++j) EXPECT_EQ(s.heatMap[j], 3) << j;
}

TEST_F(HeatMapThroughHandler, HostileLevelCountsAndRangesStayInside) {
  withInfo([](DeviceInfo& i) {
    i.band2AmplitudeLevels = 0;      // no level at all
    i.band1AmplitudeLevels = 70000;  // more levels than codes
    i.band1MinDbm = 10.0f;           // inverted range
    i.band1MaxDbm = -200.0f;
  });
  h.feed(spectrumFrame(7, 1, 0, std::vector<uint8_t>(512, 255)));
  h.feed(spectrumFrame(7, 0, 0, std::vector<uint8_t>(256, 7)));
  EXPECT_EQ(h.model.band5.heatMapLevels, 1);
  EXPECT_EQ(h.model.band5.heatMap.size(), 512u);
  EXPECT_EQ(h.model.band24.heatMapLevels, 256);
  EXPECT_EQ(h.model.band24.heatMap.size(), 256u * 256u);
  EXPECT_EQ(h.model.band24.heatMap, referenceMap(h.model.band24.sweepHistory, 70000, 256, 10.0f, -200.0f));
}

}  // namespace
}  // namespace tarvo
