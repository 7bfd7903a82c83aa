#include "accesspoints/model/AccessPointList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "accesspoints/model/Utilization.h"

namespace tarvo {
namespace {

using Criteria = SpectrumSettings::SSIDSortCriteria;
constexpr int64_t NOW = 1'700'000'000'000;

std::unique_ptr<AccessPoint> record(uint8_t id, float rssi = -60.0f, const char* ssid = "net", int band = 0) {
  auto ap = std::make_unique<AccessPoint>();
  ap->bssid = {0x02, 0, 0, 0, 0, id};
  ap->rssi = rssi;
  ap->band = band;
  ap->channel = 6;
  ap->ssidLength = static_cast<uint8_t>(std::strlen(ssid));
  std::memcpy(ap->ssid.data(), ssid, ap->ssidLength);
  return ap;
}

AccessPointBatch batchOf(std::vector<std::unique_ptr<AccessPoint>> records) {
  AccessPointBatch batch;
  for (auto& r : records) batch.push_back(std::move(r));
  return batch;
}

std::vector<uint8_t> idsOf(const AnalyzerModel& model) {
  std::vector<uint8_t> ids;
  for (const auto& e : model.accessPoints) ids.push_back(e->bssid[5]);
  return ids;
}

class AccessPointListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceInfo info;
    info.band1MinDbm = -95.0f;
    info.band2MinDbm = -88.0f;
    model.setDeviceInfo(info);
  }
  void merge(std::vector<std::unique_ptr<AccessPoint>> records, int64_t now = NOW) {
    mergeScan(model, batchOf(std::move(records)), now);
  }
  AccessPoint& entry(size_t i) { return *model.accessPoints.at(i); }

  AnalyzerModel model;
};

TEST_F(AccessPointListTest, NewEntriesRiseFromTheBottomOfTheirBand) {
  std::vector<std::unique_ptr<AccessPoint>> records;
  records.push_back(record(1, -40.0f, "a", 0));
  records.push_back(record(2, -50.0f, "b", 1));
  records.push_back(record(3, -55.0f, "c", 7));  // no such band: takes the 2.4 GHz bottom
  merge(std::move(records));
  ASSERT_EQ(model.accessPoints.size(), 3u);
  const float bottoms[] = {-95.0f, -88.0f, -95.0f};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const AccessPoint& e = entry(i);
    EXPECT_EQ(e.lastSeenMs, NOW);
    EXPECT_EQ(e.sightings, 1u);
    EXPECT_EQ(e.markerStartDbm, bottoms[i]);
    EXPECT_EQ(e.markerDbm, bottoms[i]);
    EXPECT_EQ(e.markerTargetDbm, e.rssi);
    EXPECT_EQ(e.markerColor[3], 255);
    EXPECT_GE(e.markerColor[0] + e.markerColor[1] + e.markerColor[2], 240);
  }
}

TEST_F(AccessPointListTest, BandWithoutRangeStartsMarkerAtTheSignal) {
  DeviceInfo info;
  info.band2MinDbm = notAvailable();
  model.setDeviceInfo(info);
  std::vector<std::unique_ptr<AccessPoint>> records;
  records.push_back(record(1, -47.0f, "x", 1));
  merge(std::move(records));
  EXPECT_EQ(entry(0).markerDbm, -47.0f);
}

TEST_F(AccessPointListTest, KnownBssidUpdatesItsEntryInPlace) {
  std::vector<std::unique_ptr<AccessPoint>> first;
  first.push_back(record(1));
  first.push_back(record(2, -70.0f, "old"));
  first.push_back(record(3));
  merge(std::move(first), NOW - 5000);
  AccessPoint& listed = entry(1);
  listed.markerDbm = -72.5f;  // the marker layer moved it
  listed.grade = 80.0f;
  listed.utilization = 12.0f;
  listed.suggestionHistory = {6};
  const auto color = listed.markerColor;

  auto update = record(2, -50.0f, "renamed");
  update->security = SECURITY_WPA2;
  std::vector<std::unique_ptr<AccessPoint>> second;
  second.push_back(std::move(update));
  merge(std::move(second));

  ASSERT_EQ(idsOf(model), (std::vector<uint8_t>{1, 2, 3}));
  const AccessPoint& e = entry(1);
  EXPECT_EQ(e.sightings, 2u);
  EXPECT_EQ(e.lastSeenMs, NOW);
  EXPECT_EQ(e.markerColor, color);
  EXPECT_EQ(e.markerStartDbm, -72.5f);
  EXPECT_EQ(e.markerDbm, -72.5f);
  EXPECT_EQ(e.markerTargetDbm, -50.0f);
  EXPECT_EQ(e.rssi, -50.0f);
  EXPECT_EQ(e.ssidText(), "renamed");
  EXPECT_EQ(e.security, SECURITY_WPA2);
  // The utilisation results are the new record's (cleared) until the next pass.
  EXPECT_EQ(e.grade, 0.0f);
  EXPECT_EQ(e.utilization, 0.0f);
  EXPECT_TRUE(e.suggestionHistory.empty());
}

// The count column has four digits: a count past 9999 stays at 9999 instead of jumping to 99.
TEST_F(AccessPointListTest, SightingsSaturateAt9999) {
  std::vector<std::unique_ptr<AccessPoint>> first;
  first.push_back(record(1));
  first.push_back(record(2));
  merge(std::move(first));
  entry(0).sightings = 9998;
  entry(1).sightings = 9999;
  for (int scan = 0; scan < 3; ++scan) {
    std::vector<std::unique_ptr<AccessPoint>> again;
    again.push_back(record(1));
    again.push_back(record(2));
    merge(std::move(again));
  }
  EXPECT_EQ(entry(0).sightings, 9999u);
  EXPECT_EQ(entry(1).sightings, 9999u);
}

TEST_F(AccessPointListTest, DuplicatesInTheFirstBatchAreKeptButLaterOnesMerge) {
  std::vector<std::unique_ptr<AccessPoint>> first;
  first.push_back(record(1));
  first.push_back(record(1));
  merge(std::move(first));
  EXPECT_EQ(idsOf(model), (std::vector<uint8_t>{1, 1}));

  clearAccessPoints(model);
  std::vector<std::unique_ptr<AccessPoint>> seed;
  seed.push_back(record(9));
  merge(std::move(seed));
  std::vector<std::unique_ptr<AccessPoint>> later;
  later.push_back(record(1));
  later.push_back(record(1));
  merge(std::move(later));
  EXPECT_EQ(idsOf(model), (std::vector<uint8_t>{9, 1}));
  EXPECT_EQ(entry(1).sightings, 2u);
}

TEST_F(AccessPointListTest, BothBandsShareOneEntryPerBssid) {
  std::vector<std::unique_ptr<AccessPoint>> first;
  first.push_back(record(1, -60.0f, "dual", 0));
  merge(std::move(first));
  std::vector<std::unique_ptr<AccessPoint>> second;
  second.push_back(record(1, -65.0f, "dual", 1));
  merge(std::move(second));
  ASSERT_EQ(model.accessPoints.size(), 1u);
  EXPECT_EQ(entry(0).band, 1);
  EXPECT_EQ(entry(0).sightings, 2u);
}

TEST_F(AccessPointListTest, EmptyBatchAndNullRecordsChangeNothing) {
  std::vector<std::unique_ptr<AccessPoint>> first;
  first.push_back(nullptr);
  first.push_back(record(1));
  merge(std::move(first));
  merge({});
  std::vector<std::unique_ptr<AccessPoint>> withNull;
  withNull.push_back(nullptr);
  merge(std::move(withNull));
  EXPECT_EQ(idsOf(model), (std::vector<uint8_t>{1}));
  EXPECT_EQ(entry(0).sightings, 1u);
}

TEST_F(AccessPointListTest, MarkerColourIsStableForABssid) {
  std::vector<std::unique_ptr<AccessPoint>> first;
  for (uint8_t id = 1; id <= 40; ++id) first.push_back(record(id));
  merge(std::move(first));
  const auto color = entry(4).markerColor;
  clearAccessPoints(model);
  std::vector<std::unique_ptr<AccessPoint>> again;
  again.push_back(record(5));
  merge(std::move(again));
  EXPECT_EQ(entry(0).markerColor, color);
}

TEST_F(AccessPointListTest, AgingRemovesAtExactly180Seconds) {
  std::vector<std::unique_ptr<AccessPoint>> first;
  for (uint8_t id = 1; id <= 4; ++id) first.push_back(record(id));
  merge(std::move(first));
  entry(0).lastSeenMs = NOW - 180000;  // removed
  entry(1).lastSeenMs = NOW - 179999;  // kept
  entry(2).lastSeenMs = NOW - 500000;  // removed
  entry(3).lastSeenMs = NOW;           // kept
  model.runtime.apListChanged = false;
  model.runtime.apTableChanged = false;
  ageAccessPoints(model, NOW);
  EXPECT_EQ(idsOf(model), (std::vector<uint8_t>{2, 4}));
  EXPECT_TRUE(model.runtime.apListChanged);
  EXPECT_TRUE(model.runtime.apTableChanged);
}

TEST_F(AccessPointListTest, ClearKeepsTheOptimisationSelection) {
  std::vector<std::unique_ptr<AccessPoint>> first;
  first.push_back(record(1));
  merge(std::move(first));
  model.runtime.scanCount = 12;
  model.scanStatistics.utilizationSkipCount = 40;
  ASSERT_TRUE(addToSelection(model.scanStatistics, entry(0).bssid));
  model.runtime.apListChanged = false;
  model.runtime.apTableChanged = false;

  clearAccessPoints(model);
  EXPECT_TRUE(model.accessPoints.empty());
  EXPECT_EQ(model.runtime.scanCount, 0u);
  EXPECT_EQ(model.scanStatistics.utilizationSkipCount, 0);
  EXPECT_TRUE(selectionContains(model.scanStatistics, Bssid{0x02, 0, 0, 0, 0, 1}));
  EXPECT_TRUE(model.runtime.apListChanged);
  EXPECT_TRUE(model.runtime.apTableChanged);
}

// --- sorting ----------------------------------------------------------------------------------

class AccessPointSortTest : public AccessPointListTest {
 protected:
  void SetUp() override {
    AccessPointListTest::SetUp();
    // id: ssid, rssi, security, phyModes, channel, sightings, grade, bssid[0]
    struct Row {
      uint8_t id;
      const char* ssid;
      float rssi;
      int32_t security;
      uint8_t phy;
      uint16_t channel;
      uint32_t count;
      float grade;
      uint8_t bssid0;
    };
    const Row rows[] = {
        {1, "abc", -70, SECURITY_WPA2, PHY_B | PHY_G, 6, 5, 40, 0x10},
        {2, "ABD", -40, SECURITY_WPS, PHY_A | PHY_N, 11, 1, 90, 0x80},
        {3, "ab", -90, SECURITY_OPEN, PHY_N, 1, 30, 10, 0x7F},
        {4, "", -55, 9, PHY_A | PHY_AC, 36, 2, 60, 0x00},
        {5, "\xC3\xA9t\xC3\xA9", -65, SECURITY_WEP, PHY_B, 3, 7, 70, 0xFF},
        {6, "Zed", -80, SECURITY_WPA, PHY_B | PHY_G | PHY_N, 13, 12, 20, 0x20},
    };
    std::vector<std::unique_ptr<AccessPoint>> records;
    for (const Row& r : rows) {
      auto ap = record(r.id, r.rssi, r.ssid);
      ap->security = r.security;
      ap->phyModes = r.phy;
      ap->channel = r.channel;
      ap->bssid[0] = r.bssid0;
      records.push_back(std::move(ap));
    }
    merge(std::move(records));
    for (size_t i = 0; i < 6; ++i) {
      entry(i).sightings = rows[i].count;
      entry(i).grade = rows[i].grade;
    }
  }
};

TEST_F(AccessPointSortTest, AscendingOrders) {
  struct Case {
    const char* name;
    int criteria;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      // Empty first, non-ASCII before ASCII, case folded, a prefix before longer names.
      {"ssid", Criteria::Ssid, {4, 5, 3, 1, 2, 6}},
      {"security: OPEN, WEP, WPA, WPA2, WPS, other", Criteria::Security, {3, 5, 6, 1, 2, 4}},
      {"rssi: weakest first", Criteria::Rssi, {3, 6, 1, 5, 4, 2}},
      {"bssid bytes unsigned", Criteria::Bssid, {4, 1, 6, 3, 2, 5}},
      // "a/ac/" < "a/n/" < "b/" < "b/g/" < "b/g/n/" < "n/"
      {"mode text", Criteria::Mode, {4, 2, 5, 1, 6, 3}},
      {"channel", Criteria::Channel, {3, 5, 1, 2, 6, 4}},
      {"frequency sorts by channel", Criteria::Frequency, {3, 5, 1, 2, 6, 4}},
      {"count", Criteria::Count, {2, 4, 1, 5, 6, 3}},
      {"grade", Criteria::Grade, {3, 6, 1, 4, 5, 2}},
      {"grade percent", Criteria::GradePercent, {3, 6, 1, 4, 5, 2}},
  };
  for (const auto& c : cases) {
    sortAccessPoints(model, c.criteria, false);
    EXPECT_EQ(idsOf(model), c.expected) << c.name;
    sortAccessPoints(model, c.criteria, true);
    const std::vector<uint8_t> reversed(c.expected.rbegin(), c.expected.rend());
    EXPECT_EQ(idsOf(model), reversed) << c.name << " descending";
  }
}

TEST_F(AccessPointSortTest, NoneAndUnknownCriteriaKeepTheOrder) {
  const auto before = idsOf(model);
  for (int criteria : {0, 12, 200, -1}) {
    sortAccessPoints(model, criteria, true);
    EXPECT_EQ(idsOf(model), before) << criteria;
  }
}

TEST_F(AccessPointSortTest, DamagedSsidLengthStaysInsideTheField) {
  entry(0).ssidLength = 200;
  entry(1).ssidLength = 255;
  sortAccessPoints(model, Criteria::Ssid, false);  // must not read past the 32 bytes
  EXPECT_EQ(model.accessPoints.size(), 6u);
}

TEST_F(AccessPointSortTest, NaNGradeDoesNotBreakTheSort) {
  entry(2).grade = notAvailable();
  sortAccessPoints(model, Criteria::Grade, false);
  EXPECT_EQ(idsOf(model).front(), 3);
}

// --- header rule ------------------------------------------------------------------------------

TEST(SelectSortColumn, RssiHeaderToggles) {
  AnalyzerModel model;
  model.spectrum.ssidSortKey = Criteria::Ssid;
  model.spectrum.ssidSortDescending = 0;
  struct Step {
    int tap;
    uint8_t key;
    bool descending;
  };
  const Step steps[] = {
      {Criteria::Rssi, Criteria::Rssi, true},   // a new RSSI column starts strongest first
      {Criteria::Rssi, Criteria::Rssi, false},  // tapping it again flips it
      {Criteria::Ssid, Criteria::Ssid, false},  // any other new column starts ascending
      {Criteria::Ssid, Criteria::Ssid, true},
      {Criteria::Count, Criteria::Count, false},
  };
  for (const auto& s : steps) {
    model.runtime.apListChanged = false;
    selectSortColumn(model, SortTable::Ssid, s.tap);
    EXPECT_EQ(model.spectrum.ssidSortKey, s.key);
    EXPECT_EQ(model.spectrum.ssidSortDescending != 0, s.descending) << "tap " << s.tap;
    EXPECT_TRUE(model.runtime.apListChanged);
  }
}

TEST(SelectSortColumn, UtilizationTableHasItsOwnSettings) {
  AnalyzerModel model;
  model.runtime.apTableChanged = false;
  model.runtime.apListChanged = false;
  // Default: sorted by GRADE descending; tapping GRADE flips it.
  selectSortColumn(model, SortTable::Utilization, Criteria::Grade);
  EXPECT_EQ(model.spectrum.utilizationSortKey, Criteria::Grade);
  EXPECT_EQ(model.spectrum.utilizationSortDescending, 0);
  EXPECT_TRUE(model.runtime.apTableChanged);
  EXPECT_FALSE(model.runtime.apListChanged);
  EXPECT_EQ(model.spectrum.ssidSortKey, Criteria::Rssi);  // untouched
  EXPECT_EQ(model.spectrum.ssidSortDescending, 1);

  selectSortColumn(model, SortTable::Utilization, 99);  // not a column: nothing changes
  EXPECT_EQ(model.spectrum.utilizationSortKey, Criteria::Grade);
}

TEST(AccessPointKeys, ModeTextAndSecurityRank) {
  EXPECT_EQ(modeSortText(PHY_A | PHY_B | PHY_G | PHY_N | PHY_AC), "a/b/g/n/ac/");
  EXPECT_EQ(modeSortText(0), "");
  EXPECT_EQ(securityRank(SECURITY_OPEN), 0);
  EXPECT_EQ(securityRank(SECURITY_WPS), 4);
  EXPECT_EQ(securityRank(-1), 10);
  EXPECT_EQ(securityRank(77), 10);
}

}  // namespace
}  // namespace tarvo
