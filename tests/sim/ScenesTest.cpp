// Radio scenes and the access-point population: determinism, seamless loops, that each scene
// shows the signal it names, and that power captures put their edge at the trigger sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "tools/sim/AccessPointPopulation.h"
#include "tools/sim/FrameEncoder.h"
#include "tools/sim/Scenes.h"

namespace tarvo::sim {
namespace {

const BinPlan FINE = binPlanFor(6, 0);
const BinPlan FIVE = binPlanFor(7, 1);

std::vector<float> maxHold(const SpectrumScene& s, const BinPlan& plan, int sweeps) {
  std::vector<float> m(plan.bins, -200.0f);
  for (int k = 0; k < sweeps; ++k) {
    const auto v = s.sweep(k, plan);
    for (int i = 0; i < plan.bins; ++i) m[i] = std::max(m[i], v[i]);
  }
  return m;
}

float at(const std::vector<float>& v, const BinPlan& plan, double mhz) {
  return v[static_cast<size_t>(std::lround((mhz - plan.startMHz) / plan.stepMHz))];
}

TEST(SpectrumScenes, SameSeedSameSweepInAnyOrderAndTheLoopRepeats) {
  for (int kind = 0; kind < SCENE_KIND_COUNT; ++kind) {
    SCOPED_TRACE(sceneName(static_cast<SceneKind>(kind)));
    const SpectrumScene a(static_cast<SceneKind>(kind), 0, 5, -96.0f, 40);
    const SpectrumScene b(static_cast<SceneKind>(kind), 0, 5, -96.0f, 40);
    const auto later = b.sweep(17, FINE);  // made before sweep 3 this time
    EXPECT_EQ(a.sweep(3, FINE), b.sweep(3, FINE));
    EXPECT_EQ(a.sweep(17, FINE), later);
    EXPECT_EQ(a.sweep(17, FINE), a.sweep(57, FINE));  // one loop later
    const SpectrumScene other(static_cast<SceneKind>(kind), 0, 6, -96.0f, 40);
    EXPECT_NE(a.sweep(3, FINE), other.sweep(3, FINE));
  }
}

TEST(SpectrumScenes, NoneIsTheFloorWithJitter) {
  const SpectrumScene s(SceneKind::None, 0, 1, -96.0f, 100);
  double sum = 0, sumSq = 0;
  int n = 0;
  float highest = -200;
  for (int k = 0; k < 100; ++k)
    for (float v : s.sweep(k, FINE)) {
      sum += v;
      sumSq += v * v;
      ++n;
      highest = std::max(highest, v);
    }
  const double mean = sum / n, sd = std::sqrt(sumSq / n - mean * mean);
  EXPECT_NEAR(mean, -96.0, 1.0);
  EXPECT_GT(sd, 0.5);  // not a flat line
  EXPECT_LT(sd, 2.0);
  EXPECT_LT(highest, -80.0f);
}

TEST(SpectrumScenes, WifiFillsChannelsOneSixElevenWithFlatTopsAndSkirts) {
  const SpectrumScene s(SceneKind::Wifi, 0, 1, -96.0f, 200);
  const auto m = maxHold(s, FINE, 200);
  for (double centre : {2412.0, 2437.0, 2462.0}) {
    SCOPED_TRACE(centre);
    EXPECT_GT(at(m, FINE, centre + 4), -70.0f);
    // Flat top: 6 MHz off centre within a few dB of 4 MHz off.
    EXPECT_NEAR(at(m, FINE, centre + 6), at(m, FINE, centre - 4), 6.0f);
  }
  // Between channel 11's skirt and the band edge the floor comes back.
  EXPECT_LT(at(m, FINE, 2497), -85.0f);
  // A single sweep catches pieces of packets, not every channel whole.
  int busySweeps = 0;
  for (int k = 0; k < 50; ++k) {
    const auto v = s.sweep(k, FINE);
    int above = 0;
    for (float x : v) above += x > -80.0f;
    busySweeps += above > 0 && above < FINE.bins * 3 / 4;
  }
  EXPECT_GT(busySweeps, 25);
}

TEST(SpectrumScenes, FiveGigahertzWifiShowsTheEightyMegahertzChannel) {
  const SpectrumScene s(SceneKind::Wifi, 1, 1, -96.0f, 50);
  const auto m = maxHold(s, FIVE, 50);
  // Streaming-TV-5G: channel 149, 80 MHz centred on 155 (5775 MHz, 5735 to 5815).
  EXPECT_GT(at(m, FIVE, 5745), -80.0f);
  EXPECT_GT(at(m, FIVE, 5805), -80.0f);
  EXPECT_LT(at(m, FIVE, 5700), -85.0f);
}

TEST(SpectrumScenes, DectBurstsAreNarrowAndHopAcrossTheBand) {
  const SpectrumScene s(SceneKind::Dect, 0, 1, -96.0f, 300);
  std::set<int> burstCentres;
  int runs = 0, narrow = 0;
  for (int k = 0; k < 300; ++k) {
    const auto v = s.sweep(k, FINE);
    for (int i = 0; i < FINE.bins;) {
      if (v[i] <= -70.0f) {
        ++i;
        continue;
      }
      int j = i;
      while (j < FINE.bins && v[j] > -70.0f) ++j;
      ++runs;
      narrow += (j - i) * FINE.stepMHz < 4.0;  // wider only where two hops touch
      burstCentres.insert(static_cast<int>(FINE.frequencyMHz((i + j) / 2)));
      i = j;
    }
  }
  EXPECT_GT(runs, 300);
  EXPECT_GT(narrow, runs * 9 / 10);
  EXPECT_GT(burstCentres.size(), 50u);  // the hops cover the band
  EXPECT_LE(*burstCentres.rbegin(), 2484);
}

TEST(SpectrumScenes, DssHumpIsAboutTwentyTwoMegahertzWide) {
  const SpectrumScene s(SceneKind::Dss, 0, 1, -96.0f, 300);
  const auto m = maxHold(s, FINE, 100);  // the first pair: base at 2414 MHz
  EXPECT_GT(at(m, FINE, 2414), -60.0f);
  EXPECT_GT(at(m, FINE, 2414 + 7), at(m, FINE, 2414) - 15.0f);
  EXPECT_LT(at(m, FINE, 2414 + 16), at(m, FINE, 2414) - 20.0f);
}

// ---------------------------------------------------------------------------------------------

struct GeometryRow {
  const char* name;
  int samples;
  double dt;
  int trigger;
  float level;
  bool rising;
};
const GeometryRow GEOMETRIES[] = {
    {"first generation demo", 240, 4e-5 / 240, 24, -31.8f, true},
    {"second generation demo", 1000, 1e-7, 148, -36.5f, true},
    {"centred, falling", 1000, 1e-7, 500, -36.5f, false},
    {"late, 20 us/div", 1000, 2e-7, 900, -40.0f, true},
};

TEST(PowerScenes, EdgeSitsAtTheTriggerSample) {
  const SlopeOffset cal{0.25f, -70.0f};
  for (int kind : {1, 2, 3})
    for (const GeometryRow& row : GEOMETRIES) {
      SCOPED_TRACE(testing::Message() << sceneName(static_cast<SceneKind>(kind)) << ", " << row.name);
      CaptureGeometry g{row.samples, row.dt, row.trigger, row.level, row.rising, 0.4f};
      const PowerScene scene(static_cast<SceneKind>(kind), 3, -58.0f);
      const int level = amplitudeCode(row.level, cal);
      int events = 0;
      for (int k = 0; k < 60; ++k) {
        const Capture c = scene.capture(k, g);
        ASSERT_EQ(static_cast<int>(c.dbm.size()), row.samples);
        std::vector<uint8_t> codes(row.samples);
        for (int i = 0; i < row.samples; ++i) codes[i] = amplitudeCode(c.dbm[i], cal);
        EXPECT_EQ(triggerFires(codes.data(), row.samples, row.trigger, level, row.rising), c.hasEvent) << k;
        if (!c.hasEvent) continue;
        ++events;
        // Nothing before the edge crosses the level the triggering way (the accessory would
        // have fired earlier).
        for (int i = 1; i < row.trigger; ++i) ASSERT_FALSE(triggerFires(codes.data(), row.samples, i, level, row.rising)) << i;
      }
      EXPECT_GT(events, 45);  // about one capture in twelve is quiet
      EXPECT_LT(events, 60);
    }
}

TEST(PowerScenes, NoneNeverCrossesAPlausibleLevel) {
  const PowerScene scene(SceneKind::None, 3, -58.0f);
  CaptureGeometry g{1000, 1e-7, 148, -36.5f, true, 0.4f};
  for (int k = 0; k < 20; ++k) {
    const Capture c = scene.capture(k, g);
    EXPECT_FALSE(c.hasEvent);
    EXPECT_LT(*std::max_element(c.dbm.begin(), c.dbm.end()), -50.0f);
  }
}

TEST(PowerScenes, RollStreamIsContinuousAndShowsTheDectFrame) {
  const PowerScene scene(SceneKind::Dect, 3, -58.0f);
  const double dt = 0.4 / 1000;  // 2500 samples per second
  const auto whole = scene.roll(0, dt, 2000);
  const auto firstHalf = scene.roll(0, dt, 1000);
  const auto secondHalf = scene.roll(1000, dt, 1000);
  EXPECT_TRUE(std::equal(firstHalf.begin(), firstHalf.end(), whole.begin()));
  EXPECT_TRUE(std::equal(secondHalf.begin(), secondHalf.end(), whole.begin() + 1000));
  // The base's 0.417 ms slot every 10.4 ms: 26 samples apart at 0.4 ms per sample, touching
  // three samples at most (the slot is a little longer than a sample).
  int bursts = 0;
  for (size_t i = 0; i < whole.size(); ++i) bursts += whole[i] > -23.0f;
  EXPECT_GE(bursts, 2000 / 26);
  EXPECT_LE(bursts, 3 * (2000 / 26 + 1));
}

TEST(TriggerPosition, PreCountPutsTimeZeroBeforeTheEnd) {
  EXPECT_EQ(triggerIndexFromPreCount(240, 216), 24);   // 16 us delay at 4 us/div
  EXPECT_EQ(triggerIndexFromPreCount(1000, 852), 148); // 35.2 us delay at 10 us/div
  EXPECT_EQ(triggerIndexFromPreCount(1000, 500), 500); // no delay: the centre
  EXPECT_EQ(triggerIndexFromPreCount(1000, 5000), 1);  // clamped
  EXPECT_EQ(triggerIndexFromPreCount(1000, 0), 999);
}

// ---------------------------------------------------------------------------------------------

TEST(AccessPointPopulation, CoversEveryCaseTheViewsDistinguish) {
  const AccessPointPopulation pop(1);
  const auto& aps = pop.accessPoints();
  EXPECT_GE(aps.size(), 15u);
  EXPECT_LE(aps.size(), 30u);
  std::set<int> securities, ciphers, widths24, widths5, secondaries, kinds, bands;
  int renamed = 0;
  for (const auto& ap : aps) {
    securities.insert(ap.security);
    ciphers.insert(ap.cipher);
    (ap.band == 0 ? widths24 : widths5).insert(ap.bandwidthMHz);
    if (ap.bandwidthMHz == 40) secondaries.insert(ap.band * 10 + ap.secondaryChannel);
    kinds.insert(ap.kindCode);
    bands.insert(ap.band);
    const std::array<uint8_t, 5> head{0xE0, 0x91, 0xF5, 0x76, 0x83};
    if (std::equal(head.begin(), head.end(), ap.bssid.begin()) && (ap.bssid[5] == 0x22 || ap.bssid[5] == 0x23)) ++renamed;
  }
  EXPECT_EQ(securities, (std::set<int>{-1, 0, 1, 2, 3, 4}));
  EXPECT_EQ(ciphers, (std::set<int>{-1, 0, 1, 2, 3}));
  EXPECT_EQ(widths24, (std::set<int>{10, 20, 40}));
  EXPECT_EQ(widths5, (std::set<int>{20, 40, 80}));
  EXPECT_EQ(secondaries, (std::set<int>{1, 2, 11, 12}));  // above and below, both bands
  EXPECT_EQ(kinds, (std::set<int>{0, 1, 2}));
  EXPECT_EQ(bands, (std::set<int>{0, 1}));
  EXPECT_EQ(renamed, 2);
}

TEST(AccessPointPopulation, ScansDriftPeriodicallyAndNeverHoldExactlyTwenty) {
  const AccessPointPopulation pop(1);
  for (int gen : {6, 7}) {
    SCOPED_TRACE(gen);
    std::set<size_t> sizes;
    for (int k = 0; k < 200; ++k) {
      const auto scan = pop.scan(gen, k, 40);
      sizes.insert(scan.size());
      EXPECT_NE(scan.size(), 20u);
      for (const auto& r : scan) {
        if (gen == 6) {
          EXPECT_EQ(r.bandCode, 1);  // the second generation scans 2.4 GHz only
          EXPECT_TRUE(r.phyMode == 1 || r.phyMode == 2 || r.phyMode == 4);
        }
        EXPECT_GE(r.rssiDbm, -100);
        EXPECT_LE(r.rssiDbm, -20);
      }
    }
    EXPECT_GT(sizes.size(), 2u);  // weak access points come and go
    EXPECT_GE(*sizes.begin(), 12u);
    const auto a = pop.scan(gen, 3, 40), b = pop.scan(gen, 43, 40);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].rssiDbm, b[i].rssiDbm);
  }
  EXPECT_TRUE(pop.scan(2, 0, 40).empty());  // the first generation cannot scan
  // Drift: an access point's level moves over the loop by more than the jitter.
  float lo = 0, hi = -200;
  for (int k = 0; k < 40; ++k) {
    const float v = pop.rssiAt(0, k / 40.0);
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_GT(hi - lo, 1.5f);
}

}  // namespace
}  // namespace tarvo::sim
