#include "core/persistence/SettingsPersistence.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "../services/TestDirs.h"

namespace tarvo {
namespace {

using eng::Data;
using tarvo::testing::TempDir;
using tarvo::testing::writeFileBytes;

template <class Record>
Data bytesOf(const Record& r) {
  alignas(4) uint8_t b[sizeof(Record)];
  recordToBytes(r, b);
  return Data(b, b + sizeof(Record));
}

template <class Record>
void fillFromBytes(Record& r, std::mt19937& rng) {
  alignas(4) uint8_t b[sizeof(Record)];
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  recordFromBytes(r, b);
}

void put(Data& blob, size_t offset, const void* value, size_t n) {
  if (blob.size() < offset + n) blob.resize(offset + n);
  std::memcpy(blob.data() + offset, value, n);
}
void putFloat(Data& blob, size_t offset, float v) { put(blob, offset, &v, 4); }
void putInt(Data& blob, size_t offset, int32_t v) { put(blob, offset, &v, 4); }

Data listBlob(std::initializer_list<std::vector<float>> vectors) {
  Data out;
  for (const auto& v : vectors) {
    putInt(out, out.size(), static_cast<int32_t>(v.size()));
    for (float f : v) putFloat(out, out.size(), f);
  }
  return out;
}

// Every stored record of a model, as the bytes the store keeps.
struct Snapshot {
  int graticule, alerts;
  Data cursors, common, spectrum, power, powerChannel, referenceChannel, demo;
  explicit Snapshot(const AnalyzerModel& m)
      : graticule(m.graticule),
        alerts(m.alerts),
        cursors(bytesOf(m.cursors)),
        common(bytesOf(m.common)),
        spectrum(bytesOf(m.spectrum)),
        power(bytesOf(m.power)),
        powerChannel(bytesOf(m.powerChannel)),
        referenceChannel(bytesOf(m.referenceChannel)),
        demo(bytesOf(m.demo)) {}
  bool operator==(const Snapshot&) const = default;
};

class SettingsPersistenceTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.file("settings.sqlite3");
  eng::UserDefault store{path};
  AnalyzerModel model;

  void writeSlot(int slot, int version, const char* name, const Data& blob) {
    const std::string p = "config" + std::to_string(slot) + ".";
    store.setIntegerForKey((p + "version").c_str(), version);
    store.setDataForKey((p + name).c_str(), blob);
  }
};

TEST_F(SettingsPersistenceTest, NeverWrittenSlotYieldsDefaultsAndIsWrittenAtOnce) {
  model.graticule = 5;
  model.spectrum.holdTime = 9.0f;
  model.power.timebaseIndex = 3;
  model.reference.history.push_back({1, 2, 3});
  model.reference.isValid = true;

  ASSERT_TRUE(loadConfiguration(model, 3, store));
  const AnalyzerModel fresh;
  EXPECT_EQ(Snapshot(model), Snapshot(fresh));
  EXPECT_TRUE(model.reference.history.empty());
  EXPECT_FALSE(model.reference.isValid);
  EXPECT_EQ(model.reference.timeScaleIndex, -1);

  // Saved to the file, not just to memory, and only that slot.
  eng::UserDefault reopened(path);
  EXPECT_EQ(reopened.getIntegerForKey("config3.version", -1), 1);
  EXPECT_EQ(reopened.getDataForKey("config3.spectrum_settings").size(), 88u);
  EXPECT_FALSE(reopened.hasKey("config0.version"));
}

TEST_F(SettingsPersistenceTest, SlotsOutsideZeroToThreeAreRefused) {
  model.graticule = 5;
  for (int slot : {-1, 4, 100}) {
    SCOPED_TRACE(slot);
    EXPECT_FALSE(loadConfiguration(model, slot, store));
    EXPECT_FALSE(saveConfiguration(model, slot, store));
  }
  EXPECT_EQ(model.graticule, 5);
  EXPECT_FALSE(store.hasKey("config4.version"));
  EXPECT_FALSE(store.hasKey("config-1.version"));
}

TEST_F(SettingsPersistenceTest, LaterFormatVersionResetsAndRewritesTheSlot) {
  model.alerts = 0;
  store.setIntegerForKey("config1.version", 2);
  store.setIntegerForKey("config1.alerts", 1);
  ASSERT_TRUE(loadConfiguration(model, 1, store));
  EXPECT_EQ(model.alerts, 3);
  EXPECT_EQ(store.getIntegerForKey("config1.version", -1), 1);
  EXPECT_EQ(store.getIntegerForKey("config1.alerts", -1), 3);
}

TEST_F(SettingsPersistenceTest, VersionZeroKeepsHoldDecayAverageAndThe5GHzGuide) {
  // An 84-byte record with a distinct value in every field it carries.
  Data v0(84, 0);
  v0[0] = 1;                   // displayMode WATERFALL
  putInt(v0, 4, 1);            // band
  v0[8] = 0;                   // ssidEnabled
  v0[9] = 2;                   // traceTypes[0]
  v0[10] = 4;                  // traceTypes[1]
  v0[11] = 5;                  // traceTypes[2]: not taken
  putFloat(v0, 12, 111.0f);    // holdTime: not taken
  putFloat(v0, 16, 222.0f);    // decayDb: not taken
  putFloat(v0, 20, 333.0f);    // averageTime: not taken
  putInt(v0, 24, 2);           // colorMapA
  putInt(v0, 28, 3);           // colorMapB
  putInt(v0, 32, 1);           // waterfallOption
  putFloat(v0, 36, -20.5f);    // waterfallTopDbm
  putFloat(v0, 40, -99.25f);   // waterfallBottomDbm
  for (int i = 44; i <= 66; ++i) v0[i] = static_cast<uint8_t>(i);  // colours, peaks on top, measure counts
  putInt(v0, 68, 6);           // channelGuideBand1
  v0[72] = 1;                  // guideOption
  putFloat(v0, 76, 60.0f);     // ssidRefreshSeconds
  v0[80] = 4;                  // ssidSortKey
  v0[81] = 0;                  // ssidSortDescending
  v0[82] = 9;                  // utilizationSortKey
  v0[83] = 0;                  // utilizationSortDescending

  model.spectrum.traceTypes[2] = 3;
  model.spectrum.holdTime = 3.5f;
  model.spectrum.decayDb = 7.0f;
  model.spectrum.averageTime = 4.25f;
  model.spectrum.channelGuideBand2 = 9;
  writeSlot(1, 0, "spectrum_settings", v0);
  ASSERT_TRUE(loadConfiguration(model, 1, store));

  const SpectrumSettings& s = model.spectrum;
  EXPECT_EQ(s.displayMode, 1);
  EXPECT_EQ(s.band, 1);
  EXPECT_EQ(s.ssidEnabled, 0);
  EXPECT_EQ(s.traceTypes[0], 2);
  EXPECT_EQ(s.traceTypes[1], 4);
  EXPECT_EQ(s.traceTypes[2], 3);
  EXPECT_EQ(s.holdTime, 3.5f);
  EXPECT_EQ(s.decayDb, 7.0f);
  EXPECT_EQ(s.averageTime, 4.25f);
  EXPECT_EQ(s.colorMapA, 2);
  EXPECT_EQ(s.colorMapB, 3);
  EXPECT_EQ(s.waterfallOption, 1);
  EXPECT_EQ(s.waterfallTopDbm, -20.5f);
  EXPECT_EQ(s.waterfallBottomDbm, -99.25f);
  EXPECT_EQ(s.traceColors[0][0], 44);
  EXPECT_EQ(s.traceColors[4][2], 58);
  EXPECT_EQ(s.peaksOnTopTrace, 59);
  EXPECT_EQ(s.measureSettings[0], 60);
  EXPECT_EQ(s.measureSettings[6], 66);
  EXPECT_EQ(s.channelGuideBand1, 6);
  EXPECT_EQ(s.channelGuideBand2, 9);
  EXPECT_EQ(s.guideOption, 1);
  EXPECT_EQ(s.ssidRefreshSeconds, 60.0f);
  EXPECT_EQ(s.ssidSortKey, 4);
  EXPECT_EQ(s.ssidSortDescending, 0);
  EXPECT_EQ(s.utilizationSortKey, 9);
  EXPECT_EQ(s.utilizationSortDescending, 0);

  // An 88-byte record in a version-0 slot is not the old layout: it is ignored.
  AnalyzerModel other;
  writeSlot(2, 0, "spectrum_settings", Data(88, 1));
  ASSERT_TRUE(loadConfiguration(other, 2, store));
  EXPECT_EQ(bytesOf(other.spectrum), bytesOf(AnalyzerModel().spectrum));
}

TEST_F(SettingsPersistenceTest, SsidIntervalIsZeroOrBetweenTwentyAndTheMenuMaximum) {
  struct Case {
    const char* name;
    float stored;
    float loaded;
  } cases[] = {
      {"5 s is too short", 5.0f, 20.0f},
      {"0 means continuously", 0.0f, 0.0f},
      {"just below 20", 19.99f, 20.0f},
      {"20 stays", 20.0f, 20.0f},
      {"45 stays", 45.0f, 45.0f},
      {"negative", -30.0f, 20.0f},
      {"NaN", std::numeric_limits<float>::quiet_NaN(), 20.0f},
      {"beyond the menu", 1e9f, 120.0f},
      {"infinity", std::numeric_limits<float>::infinity(), 120.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int version : {0, 1}) {
      SCOPED_TRACE(version);
      AnalyzerModel m;
      Data blob = bytesOf(m.spectrum);
      if (version == 0) {
        blob.resize(84);
        putFloat(blob, 76, c.stored);
      } else {
        putFloat(blob, 80, c.stored);
      }
      writeSlot(1, version, "spectrum_settings", blob);
      ASSERT_TRUE(loadConfiguration(m, 1, store));
      EXPECT_EQ(m.spectrum.ssidRefreshSeconds, c.loaded);
    }
  }
}

TEST_F(SettingsPersistenceTest, HistoryListsStopAtTheFirstIncompleteVector) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Data truncated = listBlob({{1, 2}, {3, 4, 5}});
  truncated.resize(truncated.size() - 2);
  Data negative = listBlob({{7}});
  putInt(negative, negative.size(), -1);
  putFloat(negative, negative.size(), 8);
  Data huge = listBlob({{9}});
  putInt(huge, huge.size(), std::numeric_limits<int32_t>::max());
  Data danglingCount = listBlob({{1}});
  danglingCount.push_back(3);  // part of a count

  struct Case {
    const char* name;
    Data blob;
    std::deque<std::vector<float>> expected;
  } cases[] = {
      {"counts 3 and 2 with 20 bytes of floats", listBlob({{1.5f, -2.5f, 3.5f}, {-90.0f, 0.25f}}),
       {{1.5f, -2.5f, 3.5f}, {-90.0f, 0.25f}}},
      {"empty blob is an empty list", {}, {}},
      {"a vector of zero values is a vector", listBlob({{}, {4}}), {{}, {4}}},
      {"last vector cut short", truncated, {{1, 2}}},
      {"negative count", negative, {{7}}},
      {"count far beyond the blob", huge, {{9}}},
      {"a dangling partial count", danglingCount, {{1}}},
      {"NaN values are data", listBlob({{nan}}), {{nan}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AnalyzerModel m;
    store.setIntegerForKey("config1.version", 1);
    store.setDataForKey("config1.referenceHistory.history", c.blob);
    store.setDataForKey("config1.referenceHistory.processedHistory", c.blob);
    ASSERT_TRUE(loadConfiguration(m, 1, store));
    ASSERT_EQ(m.reference.history.size(), c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i) {
      ASSERT_EQ(m.reference.history[i].size(), c.expected[i].size());
      for (size_t j = 0; j < c.expected[i].size(); ++j) {
        const float got = m.reference.history[i][j], want = c.expected[i][j];
        EXPECT_TRUE(got == want || (std::isnan(got) && std::isnan(want))) << i << "," << j;
      }
    }
    // The processed list holds x, y pairs: an odd value count leaves the last value out.
    ASSERT_EQ(m.reference.processedHistory.size(), c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i)
      EXPECT_EQ(m.reference.processedHistory[i].size(), c.expected[i].size() / 2);
  }
}

TEST_F(SettingsPersistenceTest, Slot2RoundTripReproducesEveryStoredByte) {
  std::mt19937 rng(20240611);
  AnalyzerModel a;
  a.graticule = 0x5A5A1234;
  a.alerts = -7;
  fillFromBytes(a.cursors, rng);
  fillFromBytes(a.common, rng);
  fillFromBytes(a.spectrum, rng);
  a.spectrum.ssidRefreshSeconds = 45.0f;  // the one field loading brings into range
  fillFromBytes(a.power, rng);
  fillFromBytes(a.powerChannel, rng);
  fillFromBytes(a.referenceChannel, rng);
  fillFromBytes(a.demo, rng);
  a.reference.history = {{-40.0f, -41.5f, -39.25f}, {}, {1e-30f}};
  a.reference.processedHistory = {{{0, -40}, {1, -41.5f}}, {{2.5f, 3.5f}}};
  a.reference.alpha = {1.0f, 0.5f, 0.25f};
  a.reference.rollingHistory = {-60, -61, -62, -63};
  a.reference.processedRollingHistory = {{0, -60}, {1, -61}};
  a.reference.maxRollPointsNeeded = 2000;
  a.reference.timeScaleIndex = 2;
  a.reference.amplitudeScaleIndex = 0;
  a.reference.isValid = true;
  ASSERT_TRUE(saveConfiguration(a, 2, store));

  eng::UserDefault reopened(path);
  AnalyzerModel b;
  ASSERT_TRUE(loadConfiguration(b, 2, reopened));
  EXPECT_EQ(Snapshot(b), Snapshot(a));
  EXPECT_EQ(b.reference.history, a.reference.history);
  ASSERT_EQ(b.reference.processedHistory.size(), 2u);
  EXPECT_EQ(b.reference.processedHistory[0][1].y, -41.5f);
  EXPECT_EQ(b.reference.processedHistory[1][0].x, 2.5f);
  EXPECT_EQ(b.reference.alpha, a.reference.alpha);
  EXPECT_EQ(b.reference.rollingHistory, a.reference.rollingHistory);
  ASSERT_EQ(b.reference.processedRollingHistory.size(), 2u);
  EXPECT_EQ(b.reference.processedRollingHistory[1].y, -61.0f);
  EXPECT_EQ(b.reference.maxRollPointsNeeded, 2000);
  EXPECT_EQ(b.reference.timeScaleIndex, 2);
  EXPECT_EQ(b.reference.amplitudeScaleIndex, 0);
  EXPECT_TRUE(b.reference.isValid);

  // Saving what was loaded writes the same bytes under every key.
  TempDir other;
  eng::UserDefault second(other.file("s.sqlite3"));
  ASSERT_TRUE(saveConfiguration(b, 2, second));
  for (const char* key :
       {"cursors", "common_settings", "spectrum_settings", "power_setting", "power_channel0", "reference_channel0",
        "demo", "referenceHistory.history", "referenceHistory.processedHistory", "referenceHistory.alpha",
        "referenceHistory.rollingHistory", "referenceHistory.processedRollingHistory"}) {
    const std::string k = std::string("config2.") + key;
    EXPECT_EQ(second.getDataForKey(k.c_str(), {9}), reopened.getDataForKey(k.c_str(), {8})) << key;
  }
  for (const char* key : {"version", "graticule", "alerts", "referenceHistory.maxRollPointsNeeded",
                          "referenceHistory.timeScaleIndex", "referenceHistory.amplitudeScaleIndex"}) {
    const std::string k = std::string("config2.") + key;
    EXPECT_EQ(second.getIntegerForKey(k.c_str(), -99), reopened.getIntegerForKey(k.c_str(), -98)) << key;
  }
  EXPECT_EQ(reopened.getDataForKey("config2.spectrum_settings").size(), 88u);
  // Other slots are untouched.
  EXPECT_FALSE(reopened.hasKey("config0.version"));
  EXPECT_FALSE(reopened.hasKey("config1.cursors"));
}

TEST_F(SettingsPersistenceTest, RecordBlobsOfTheWrongSizeAreIgnored) {
  struct Case {
    const char* key;
    size_t expected;
  } cases[] = {{"cursors", 44},       {"common_settings", 16}, {"spectrum_settings", 88}, {"power_setting", 44},
               {"power_channel0", 12}, {"reference_channel0", 12}, {"demo", 3}};
  for (const Case& c : cases) {
    for (size_t size : {size_t{0}, c.expected - 1, c.expected + 1, c.expected * 2}) {
      SCOPED_TRACE(std::string(c.key) + " of " + std::to_string(size) + " bytes");
      AnalyzerModel m;
      m.cursors.cursorPositions[0] = 1.0f;  // current values that are not the defaults
      m.common.externalAttenuationDb = 2.0f;
      m.spectrum.decayDb = 3.0f;
      m.power.persistSeconds = 4.0f;
      m.powerChannel.verticalOffset = 5.0f;
      m.referenceChannel.verticalOffset = 6.0f;
      m.demo.demoSignal = 3;
      const Snapshot before(m);
      TempDir d;
      eng::UserDefault s(d.file("s.sqlite3"));
      s.setIntegerForKey("config0.version", 1);
      s.setIntegerForKey("config0.graticule", 17);
      s.setDataForKey((std::string("config0.") + c.key).c_str(), Data(size, 0x11));
      ASSERT_TRUE(loadConfiguration(m, 0, s));
      Snapshot expected = before;
      expected.graticule = 17;  // the keys that are fine still load
      EXPECT_EQ(Snapshot(m), expected);
    }
  }
}

// Whatever bytes a slot holds (hand-edited, another build, a damaged copy), loading succeeds,
// keeps the SSID interval in range and leaves a model that saves and loads again.
TEST_F(SettingsPersistenceTest, ArbitraryBlobContentsNeverBreakLoading) {
  const char* keys[] = {"cursors", "common_settings", "spectrum_settings", "power_setting", "power_channel0",
                        "reference_channel0", "demo", "referenceHistory.history",
                        "referenceHistory.processedHistory", "referenceHistory.alpha",
                        "referenceHistory.rollingHistory", "referenceHistory.processedRollingHistory"};
  const size_t sizes[] = {0, 3, 4, 12, 16, 44, 84, 88, 89, 1000};
  std::mt19937 rng(7);
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE(round);
    AnalyzerModel m;
    const int version = static_cast<int>(rng() % 2);
    store.setIntegerForKey("config1.version", version);
    for (const char* key : keys) {
      Data blob(sizes[rng() % std::size(sizes)]);
      for (auto& b : blob) b = static_cast<uint8_t>(rng());
      store.setDataForKey((std::string("config1.") + key).c_str(), blob);
    }
    ASSERT_TRUE(loadConfiguration(m, 1, store));
    const float ssid = m.spectrum.ssidRefreshSeconds;
    EXPECT_TRUE(ssid == 0.0f || (ssid >= 20.0f && ssid <= 120.0f)) << ssid;
    EXPECT_TRUE(m.currentBand() == 0 || m.currentBand() == 1);
    EXPECT_TRUE(saveConfiguration(m, 3, store));
    AnalyzerModel again;
    ASSERT_TRUE(loadConfiguration(again, 3, store));
    EXPECT_EQ(Snapshot(again), Snapshot(m));
  }
}

TEST_F(SettingsPersistenceTest, CorruptDatabaseFileStartsFromDefaultsAndKeepsTheOldFile) {
  TempDir d;
  const std::string p = d.file("settings.sqlite3");
  const std::string junk(4096, '\x5c');
  writeFileBytes(p, junk);
  ::testing::internal::CaptureStderr();
  eng::UserDefault s(p);
  model.graticule = 1;
  ASSERT_TRUE(loadConfiguration(model, 0, s));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Snapshot(model), Snapshot(AnalyzerModel()));
  EXPECT_FALSE(err.empty());
  ASSERT_FALSE(s.movedAsidePath().empty());
  EXPECT_EQ(tarvo::testing::readFileText(s.movedAsidePath()), junk);

  // The slot was rewritten into a fresh, readable file.
  eng::UserDefault reopened(p);
  EXPECT_EQ(reopened.getIntegerForKey("config0.version", -1), 1);
  EXPECT_TRUE(reopened.movedAsidePath().empty());
}

// Saving from a process that is killed at any moment leaves a slot that loads as one whole
// earlier save: every field that the child sets to its generation agrees.
TEST_F(SettingsPersistenceTest, KilledWhileSavingLeavesOneWholeConfiguration) {
  int last = 0;
  for (int round = 0; round < 3; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      eng::UserDefault s(path);
      AnalyzerModel m;
      for (int g = s.getIntegerForKey("config1.graticule", 0) + 1;; ++g) {
        m.graticule = g;
        m.alerts = g;
        m.cursors.cursorPositions[7] = static_cast<float>(g);
        m.power.timebaseIndex = g;
        m.reference.history.assign(8, std::vector<float>(500, static_cast<float>(g)));
        if (!saveConfiguration(m, 1, s)) ::_exit(2);
      }
    }
    ::usleep(40000 + round * 25000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    eng::UserDefault s(path);
    EXPECT_TRUE(s.movedAsidePath().empty());
    // Killed before its first save completed: the slot is still unwritten (loading it now would
    // write the defaults).
    if (s.getIntegerForKey("config1.version", -1) == -1) continue;
    AnalyzerModel m;
    ASSERT_TRUE(loadConfiguration(m, 1, s));
    const int g = m.graticule;
    EXPECT_GE(g, last);
    last = g;
    EXPECT_EQ(m.alerts, g);
    EXPECT_EQ(m.cursors.cursorPositions[7], static_cast<float>(g));
    EXPECT_EQ(m.power.timebaseIndex, g);
    ASSERT_EQ(m.reference.history.size(), 8u);
    EXPECT_EQ(m.reference.history[7][499], static_cast<float>(g));
  }
  EXPECT_GT(last, 0);
}

}  // namespace
}  // namespace tarvo
