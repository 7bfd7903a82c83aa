#include "core/AnalyzerModel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace tarvo {
namespace {

DeviceInfo firstGenerationLike() {
  DeviceInfo d;
  d.generationCode = 2;
  d.timebaseTable.assign(TIMEBASE_TABLE.begin(), TIMEBASE_TABLE.end());
  d.rollTimebaseCount = 4;
  d.internalAttenuations = {0.5f, 4.0f, 8.0f, 12.0f, 16.0f, 20.0f, 24.0f, 28.0f};
  d.internalAttenuationCount = 8;
  return d;
}

TEST(AnalyzerModel, FreshModelDefaults) {
  AnalyzerModel m;
  EXPECT_EQ(m.graticule, 31);
  EXPECT_EQ(m.alerts, 3);
  EXPECT_EQ(m.common.spectrumMode, 1);
  EXPECT_EQ(m.spectrum.traceTypes[0], 6);
  EXPECT_FLOAT_EQ(m.spectrum.waterfallTopDbm, -37.0f);
  EXPECT_EQ(m.spectrum.traceColors[1][0], 255);
  EXPECT_EQ(m.spectrum.utilizationSortKey, 11);
  EXPECT_EQ(m.power.timebaseIndex, 15);
  EXPECT_FLOAT_EQ(m.power.triggerLevelDbm, -30.56f);
  EXPECT_EQ(m.power.measurementSlots[5], 255);
  EXPECT_EQ(m.powerChannel.enabled, 1);
  EXPECT_EQ(m.referenceChannel.enabled, 0);
  EXPECT_EQ(m.referenceChannel.color[0], 255);
  EXPECT_EQ(m.powerChannel.color[1], 255);
  EXPECT_EQ(m.demo.demoHardware, 2);
  EXPECT_FLOAT_EQ(m.cursors.cursorPositions[1], 200.0f);
  EXPECT_EQ(m.runtime.triggerStatus, 2);
  EXPECT_TRUE(m.runtime.apListChanged);
  EXPECT_EQ(m.reference.timeScaleIndex, -1);
  EXPECT_EQ(m.band24.lastSweepBins, -1);
  EXPECT_EQ(m.band5.rowBins, 512);
  EXPECT_EQ(m.band24.peakTables[4][4].index, -1);
  EXPECT_TRUE(std::isnan(m.powerMeasurements[22]));
  EXPECT_TRUE(std::isnan(m.markerSlots[19].value));
  EXPECT_EQ(*m.deviceInfo(), DeviceInfo{});
}

TEST(AnalyzerModel, StoredRecordsAreByteImages) {
  // A record copied to bytes and back is identical, and fields land at their stored offsets.
  AnalyzerModel m;
  m.spectrum.ssidRefreshSeconds = 12.5f;
  m.spectrum.utilizationSortDescending = 0;
  uint8_t bytes[sizeof(SpectrumSettings)];
  recordToBytes(m.spectrum, bytes);
  float f;
  std::memcpy(&f, bytes + 80, 4);
  EXPECT_FLOAT_EQ(f, 12.5f);
  EXPECT_EQ(bytes[87], 0);
  EXPECT_EQ(bytes[9], 6);  // traceTypes[0]
  EXPECT_EQ(bytes[1], 0);  // padding is zero
  int32_t guide;
  std::memcpy(&guide, bytes + 68, 4);
  EXPECT_EQ(guide, 3);

  bytes[4] = 1;  // band
  SpectrumSettings back;
  recordFromBytes(back, bytes);
  EXPECT_EQ(back.band, 1);
  EXPECT_FLOAT_EQ(back.ssidRefreshSeconds, 12.5f);

  uint8_t power[sizeof(PowerSettings)];
  recordToBytes(m.power, power);
  std::memcpy(&f, power + 28, 4);
  EXPECT_FLOAT_EQ(f, -30.56f);
  EXPECT_EQ(power[32], 1);
  EXPECT_EQ(power[38], 255);
}

TEST(AnalyzerModel, ResetSettingsRestoresDefaults) {
  AnalyzerModel m;
  m.spectrum.band = 1;
  m.common.spectrumMode = 0;
  m.referenceChannel.enabled = 1;
  m.reference.isValid = true;
  m.reference.timeScaleIndex = 3;
  m.reference.history.push_back({1.0f});
  m.resetSettings();
  EXPECT_EQ(m.spectrum.band, 0);
  EXPECT_EQ(m.common.spectrumMode, 1);
  EXPECT_EQ(m.referenceChannel.enabled, 0);
  EXPECT_FALSE(m.reference.isValid);
  EXPECT_EQ(m.reference.timeScaleIndex, -1);
  EXPECT_EQ(m.reference.maxRollPointsNeeded, 0);
  EXPECT_TRUE(m.reference.history.empty());
}

TEST(AnalyzerModel, RollModeAndSecondsPerDivision) {
  AnalyzerModel m;
  EXPECT_FALSE(m.isRollMode());
  EXPECT_FLOAT_EQ(m.secondsPerDivision(), 0.0f);
  m.setDeviceInfo(firstGenerationLike());
  struct Case {
    int index;
    bool roll;
    float spd;
  } cases[] = {{2, true, 0.2f}, {3, true, 0.1f}, {4, false, 0.04f}, {-5, true, 1.0f}, {40, false, 0.000002f}};
  for (const auto& c : cases) {
    m.power.timebaseIndex = c.index;
    EXPECT_EQ(m.isRollMode(), c.roll) << c.index;
    EXPECT_FLOAT_EQ(m.secondsPerDivision(), c.spd) << c.index;
  }
}

TEST(AnalyzerModel, NextTimebaseStopsAtTheEnd) {
  AnalyzerModel m;
  EXPECT_FALSE(m.nextTimebase());  // empty table
  m.setDeviceInfo(firstGenerationLike());
  m.power.timebaseIndex = 16;
  EXPECT_TRUE(m.nextTimebase());
  EXPECT_EQ(m.power.timebaseIndex, 17);
  EXPECT_FALSE(m.nextTimebase());
  EXPECT_EQ(m.power.timebaseIndex, 17);
  DeviceInfo d = firstGenerationLike();
  d.amplitudeScaleTable = {1.0f};
  m.setDeviceInfo(d);
  EXPECT_FALSE(m.nextPowerScale());
}

TEST(AnalyzerModel, AttenuationOffsetOnlyWhileConnected) {
  AnalyzerModel m;
  m.setDeviceInfo(firstGenerationLike());
  m.common.externalAttenuationDb = 10.0f;
  m.common.internalAttenuationIndex = 2;
  EXPECT_FLOAT_EQ(m.attenuationOffsetDb(), 0.0f);
  m.setConnected(true);
  EXPECT_FLOAT_EQ(m.attenuationOffsetDb(), 18.0f);
  m.common.internalAttenuationIndex = 8;  // past the calibrated entries
  EXPECT_FLOAT_EQ(m.attenuationOffsetDb(), 10.0f);
  m.common.internalAttenuationIndex = -3;  // corrupt setting
  EXPECT_FLOAT_EQ(m.attenuationOffsetDb(), 10.0f);
}

TEST(AnalyzerModel, PowerConverters) {
  EXPECT_TRUE(std::isnan(AnalyzerModel::dBmToMilliwatt(notAvailable())));
  EXPECT_TRUE(std::isnan(AnalyzerModel::milliwattToDbm(notAvailable())));
  EXPECT_FLOAT_EQ(AnalyzerModel::dBmToMilliwatt(0.0f), 1.0f);
  EXPECT_FLOAT_EQ(AnalyzerModel::dBmToMilliwatt(-30.0f), 0.001f);
  EXPECT_NEAR(AnalyzerModel::milliwattToDbm(100.0f), 20.0f, 1e-5);
}

TEST(AnalyzerModel, SsidIntervalClamp) {
  AnalyzerModel m;
  for (auto [in, out] : std::vector<std::pair<float, float>>{{-1, 0}, {0, 0}, {45, 45}, {500, 120}, {NAN, 0}}) {
    m.setSsidRefreshSeconds(in);
    EXPECT_FLOAT_EQ(m.spectrum.ssidRefreshSeconds, out) << in;
  }
}

TEST(AnalyzerModel, ResetsEmptyTheStores) {
  AnalyzerModel m;
  std::vector<float> row(256, -50.0f);
  m.band24.sweepHistory.append(row.data(), 245);
  m.band24.lastSweepBins = 245;
  m.band24.newSweep = false;
  m.accessPoints.push_back(std::make_unique<AccessPoint>());
  m.scanStatistics.optimizationSelection[0] = {1, 2, 3, 4, 5, 6};
  m.scanStatistics.utilizationSkipCount = 9;
  m.runtime.scanCount = 4;
  m.runtime.apListChanged = false;
  m.live.history.push_back(row);
  m.rollSamples().push_back(1.0f);
  m.powerMeasurements[0] = 1.0f;
  m.powerDataChanged = false;
  {
    ModelLock lock(m, LOCK_ALL);
    m.resetSpectrumData();
    m.resetPowerData();
  }
  EXPECT_TRUE(m.band24.sweepHistory.empty());
  EXPECT_EQ(m.band24.lastSweepBins, -1);
  EXPECT_TRUE(m.band24.newSweep);
  EXPECT_TRUE(m.band24.heatMapDirty);
  EXPECT_TRUE(m.accessPoints.empty());
  EXPECT_EQ(m.scanStatistics.utilizationSkipCount, 0);
  EXPECT_EQ(m.scanStatistics.optimizationSelection[0][0], 1);  // kept
  EXPECT_EQ(m.runtime.scanCount, 0u);
  EXPECT_TRUE(m.runtime.apListChanged);
  EXPECT_TRUE(m.powerTraces().empty());
  EXPECT_TRUE(m.rollSamples().empty());
  EXPECT_TRUE(m.powerDataChanged);
  EXPECT_TRUE(std::isnan(m.powerMeasurements[0]));
}

TEST(SweepHistory, RingKeepsTheNewestRowsInOrder) {
  SweepHistory h(4, 3);
  for (int i = 0; i < 5; ++i) {
    const float v[4] = {float(i), float(i), float(i), float(i)};
    h.append(v, i == 4 ? 2 : 4);
  }
  ASSERT_EQ(h.size(), 3);
  EXPECT_EQ(h.row(0)[0], 2.0f);
  EXPECT_EQ(h.rowByAge(0)[0], 4.0f);
  EXPECT_EQ(h.rowByAge(0)[2], 0.0f);  // short row is zero-filled
  EXPECT_EQ(h.rowByAge(2)[3], 2.0f);
  const std::vector<float> flat = h.flatten();
  ASSERT_EQ(flat.size(), 12u);
  EXPECT_EQ(flat[4], 3.0f);
}

TEST(SweepHistory, StaysAtItsDepth) {
  SweepHistory h(256, SpectrumStore::HISTORY_DEPTH);
  std::vector<float> row(256, 1.0f);
  for (int i = 0; i < 600; ++i) h.append(row.data(), 256);
  EXPECT_EQ(h.size(), 510);
}

TEST(ModelLock, TakesSubsetsInOrderAcrossThreads) {
  // Two threads take overlapping subsets many times; the fixed order means no deadlock and
  // the counters guarded by each mutex stay exact.
  AnalyzerModel m;
  int spectrumCount = 0, powerCount = 0;
  auto worker = [&](unsigned set) {
    for (int i = 0; i < 2000; ++i) {
      ModelLock lock(m, set);
      if (set & LOCK_SPECTRUM) ++spectrumCount;
      if (set & LOCK_POWER) ++powerCount;
    }
  };
  std::thread a(worker, LOCK_SPECTRUM | LOCK_POWER);
  std::thread b(worker, LOCK_ALL);
  std::thread c(worker, LOCK_POWER);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(spectrumCount, 4000);
  EXPECT_EQ(powerCount, 6000);
}

TEST(RelaxedSettings, ConcurrentFieldAccessAndRecordCopies) {
  // One thread writes fields while another copies the whole record; every copied field is one
  // of the values written (no torn floats), and ThreadSanitizer sees no race.
  AnalyzerModel m;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) {
      m.spectrum.holdTime = (i % 2) ? 1.0f : 2.0f;
      m.spectrum.band = i % 2;
    }
    done = true;
  });
  int copies = 0;
  while (!done || copies < 100) {
    alignas(4) uint8_t bytes[sizeof(SpectrumSettings)];
    recordToBytes(m.spectrum, bytes);
    SpectrumSettings s;
    recordFromBytes(s, bytes);
    const float h = s.holdTime;
    EXPECT_TRUE(h == 1.0f || h == 2.0f);
    ++copies;
    if (copies > 100000) break;
  }
  writer.join();
  auto shared = m.deviceInfo();
  std::thread publisher([&] {
    for (int i = 0; i < 200; ++i) m.setDeviceInfo(firstGenerationLike());
  });
  for (int i = 0; i < 200; ++i) EXPECT_LE(m.deviceInfo()->timebaseTable.size(), 18u);
  publisher.join();
}

}  // namespace
}  // namespace tarvo
