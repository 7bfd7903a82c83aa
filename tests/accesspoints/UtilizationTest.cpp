#include "accesspoints/model/Utilization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "accesspoints/model/ChannelGeometry.h"

namespace tarvo {
namespace {

constexpr float FLOOR = -90.0f;

// A model with the 2.4 GHz plan of the scanning accessories (256 bins, 2.56 bins per MHz) and
// a floor of -90 dBm, an access-point list built entry by entry, and a sweep history.
class UtilizationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceInfo info;
    info.band1BinsPerSweep = 256;
    info.band1MinDbm = FLOOR;
    model.setDeviceInfo(info);
  }

  void fillHistory(int rows, float level = FLOOR) {
    std::vector<float> row(BAND_2G4_ROW_BINS, level);
    for (int i = 0; i < rows; ++i) model.band24.sweepHistory.append(row.data(), BAND_2G4_ROW_BINS);
  }
  void appendRow(const std::vector<float>& row) { model.band24.sweepHistory.append(row.data(), static_cast<int>(row.size())); }

  AccessPoint& add(uint8_t id, int channel, float rssi, int bandwidth = 20, int secondary = 0, int band = 0) {
    auto ap = std::make_unique<AccessPoint>();
    ap->bssid = {0x02, 0, 0, 0, 0, id};
    ap->channel = static_cast<uint16_t>(channel);
    ap->rssi = rssi;
    ap->bandwidthMHz = bandwidth;
    ap->secondaryChannel = secondary;
    ap->band = band;
    model.accessPoints.push_back(std::move(ap));
    return *model.accessPoints.back();
  }
  void select(const AccessPoint& ap) { ASSERT_TRUE(addToSelection(model.scanStatistics, ap.bssid)); }

  void pass(bool forced = true) {
    ModelLock lock(model, LOCK_SPECTRUM | LOCK_AP_LIST);
    updateUtilization(model, forced);
  }

  AnalyzerModel model;
};

TEST_F(UtilizationTest, LoneStrongAccessPointOnAnIdleChannel) {
  fillHistory(100);
  AccessPoint& a = add(1, 6, -20.0f);
  pass();
  // R 100, U 0, no interference: 50 + 20 + 10 + 25 + 15 = 120, clamped to 100.
  EXPECT_FLOAT_EQ(a.utilization, 0.0f);
  EXPECT_FLOAT_EQ(a.grade, 100.0f);
  EXPECT_STREQ(gradeLetter(a.grade), "A");
}

TEST_F(UtilizationTest, GradeFormula) {
  struct Case {
    const char* name;
    float rssi, utilization, adjacent, co, expected;
  };
  const Case cases[] = {
      {"perfect clamps to 100", -20, 0, 0, 0, 100},
      {"-100 dBm has no signal share", -100, 0, 0, 0, 70},
      {"weaker than -100 as well", -130, 0, 0, 0, 70},
      {"half signal, half busy", -60, 50, 0, 0, 25 + 20 + 5 + 25 + 15},
      {"ten co-channel neighbours", -60, 0, 0, 10, 25 + 20 + 10 + 25},
      {"five adjacent, two co-channel", -60, 0, 5, 2, 25 + 20 + 10 + 12.5f + 12},
      {"utilisation over 100 counts as 100", -60, 250, 0, 0, 25 + 20 + 0 + 25 + 15},
      {"worst case", -120, 100, 20, 20, 20},
      {"NaN utilisation counts as busy", -60, NAN, 0, 0, 25 + 20 + 25 + 15},
      {"NaN interference counts as worst", -60, 0, NAN, NAN, 25 + 20 + 10},
      {"NaN signal counts as none", NAN, 0, 0, 0, 70},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(gradeFromComponents(c.rssi, c.utilization, c.adjacent, c.co), c.expected, 1e-4f) << c.name;
}

TEST_F(UtilizationTest, InterferenceWeights) {
  struct Case {
    const char* name;
    float victim, other, expected;
  };
  const Case cases[] = {
      {"equal strength", -60, -60, 1},
      {"1.5 times as far above the floor", -60, -45, 2},
      {"stronger still stays at 2", -60, -10, 2},
      {"half as far", -60, -75, 0},
      {"between", -60, -55, 1 + 2 * 5.0f / 30},
      {"victim at the floor", FLOOR, -50, 2},
      {"victim below the floor", -95, -95, 2},
      {"other below the floor", -60, -100, 0},
  };
  for (const auto& c : cases) EXPECT_NEAR(interferenceWeight(c.victim, c.other, FLOOR), c.expected, 1e-5f) << c.name;
}

TEST_F(UtilizationTest, UtilisationReadsTheNewest100RowsOverTheOwnBins) {
  // 50 old rows that are busy everywhere, then 100 rows busy only on channel 6 (bins 70..120:
  // 2427..2447 MHz at 2.56 bins per MHz) at 20 dB above the floor.
  fillHistory(50, -30.0f);
  std::vector<float> row(BAND_2G4_ROW_BINS, FLOOR);
  for (int bin = 70; bin <= 120; ++bin) row[static_cast<size_t>(bin)] = -70.0f;
  for (int i = 0; i < 100; ++i) appendRow(row);
  AccessPoint& on6 = add(1, 6, -50.0f);   // 40 dB of headroom, channel 20 dB above the floor
  AccessPoint& on13 = add(2, 13, -50.0f);  // 2462..2482 MHz: bins 159..209, all idle
  pass();
  EXPECT_NEAR(on6.utilization, 50.0f, 1e-4f);
  EXPECT_NEAR(on13.utilization, 0.0f, 1e-4f);
}

// An access point heard at (or below) the floor has no headroom to divide by: it reads fully
// busy and maximally disturbed instead of NaN or infinity.
TEST_F(UtilizationTest, AccessPointAtTheFloorGetsAFiniteGrade) {
  fillHistory(100, -80.0f);
  AccessPoint& atFloor = add(1, 6, FLOOR);
  AccessPoint& belowFloor = add(2, 1, -97.0f);
  AccessPoint& strong = add(3, 6, -50.0f);
  pass();
  EXPECT_FLOAT_EQ(atFloor.utilization, 100.0f);
  EXPECT_FLOAT_EQ(belowFloor.utilization, 100.0f);
  EXPECT_FLOAT_EQ(atFloor.coChannelInterference, 2.0f);
  EXPECT_FLOAT_EQ(strong.coChannelInterference, 0.0f);  // the weak one weighs nothing on it
  // R 12.5 -> 6.25; U 100 -> 0; J 100 -> 25; C 80 -> 12.
  EXPECT_NEAR(atFloor.grade, 6.25f + 20 + 0 + 25 + 12, 1e-4f);
  for (const auto& e : model.accessPoints) {
    EXPECT_TRUE(std::isfinite(e->grade));
    EXPECT_TRUE(std::isfinite(e->utilization));
  }
}

TEST_F(UtilizationTest, CoChannelAndAdjacentNeighbours) {
  fillHistory(100);
  AccessPoint& a = add(1, 6, -60.0f);
  AccessPoint& b = add(2, 6, -60.0f);
  AccessPoint& c3 = add(3, 3, -60.0f);
  pass();
  // a and b share channel 6; channel 3 lies in 6's overlap range (2..10) and 6 in 3's (1..7).
  EXPECT_FLOAT_EQ(a.coChannelInterference, 1.0f);
  EXPECT_FLOAT_EQ(b.coChannelInterference, 1.0f);
  EXPECT_FLOAT_EQ(a.adjacentInterference, 1.0f);
  EXPECT_FLOAT_EQ(b.adjacentInterference, 1.0f);
  EXPECT_FLOAT_EQ(c3.coChannelInterference, 0.0f);
  EXPECT_FLOAT_EQ(c3.adjacentInterference, 2.0f);
}

TEST_F(UtilizationTest, TenEqualNeighboursDriveTheCoChannelShareToZero) {
  fillHistory(100);
  for (uint8_t id = 1; id <= 11; ++id) add(id, 11, -60.0f);
  pass();
  for (const auto& e : model.accessPoints) {
    EXPECT_FLOAT_EQ(e->coChannelInterference, 10.0f);
    EXPECT_NEAR(e->grade, 25 + 20 + 10 + 25 + 0, 1e-4f);
  }
}

TEST_F(UtilizationTest, SecondaryChannelsMakeCoChannelPairs) {
  fillHistory(100);
  AccessPoint& wide = add(1, 1, -60.0f, 40, 1);  // channels 1 + 5
  AccessPoint& on5 = add(2, 5, -60.0f);
  AccessPoint& wideBelow = add(3, 9, -60.0f, 40, 2);  // channels 9 + 5
  pass();
  EXPECT_FLOAT_EQ(wide.coChannelInterference, 2.0f);  // on5 (b = s) and wideBelow (t = s)
  EXPECT_FLOAT_EQ(on5.coChannelInterference, 2.0f);
  EXPECT_FLOAT_EQ(wideBelow.coChannelInterference, 2.0f);
}

TEST_F(UtilizationTest, OtherBandsAndChannelZeroStayUngraded) {
  fillHistory(100);
  AccessPoint& fiveGhz = add(1, 36, -40.0f, 20, 0, 1);
  AccessPoint& noChannel = add(2, 0, -40.0f);
  pass();
  EXPECT_EQ(fiveGhz.grade, 0.0f);
  EXPECT_EQ(noChannel.grade, 0.0f);
}

TEST_F(UtilizationTest, PassesWaitForHistoryAndSkip100Sweeps) {
  fillHistory(99);
  AccessPoint& a = add(1, 6, -20.0f);
  pass(true);
  EXPECT_EQ(a.grade, 0.0f) << "99 rows are too few even for a forced pass";
  EXPECT_EQ(model.scanStatistics.utilizationSkipCount, 1);

  fillHistory(1);
  model.scanStatistics.utilizationSkipCount = 0;
  for (int call = 1; call <= 100; ++call) {
    pass(false);
    ASSERT_EQ(a.grade, 0.0f) << "call " << call;
  }
  EXPECT_EQ(model.scanStatistics.utilizationSkipCount, 100);
  pass(false);  // the 101st sweep runs the pass
  EXPECT_EQ(a.grade, 100.0f);
  EXPECT_EQ(model.scanStatistics.utilizationSkipCount, 0);

  a.grade = 0.0f;
  pass(true);  // a merged scan always runs it
  EXPECT_EQ(a.grade, 100.0f);
}

TEST_F(UtilizationTest, SkipCounterWraps) {
  fillHistory(10);
  model.scanStatistics.utilizationSkipCount = 255;
  pass(false);
  EXPECT_EQ(model.scanStatistics.utilizationSkipCount, 0);
}

TEST_F(UtilizationTest, PassClearsEarlierResults) {
  fillHistory(101);
  AccessPoint& a = add(1, 6, -20.0f);
  a.suggestionHistory = {3, 3, 3};
  a.bestAlternativeGrade = 55.0f;
  a.suggestedChannel = 9;
  pass();
  EXPECT_TRUE(a.suggestionHistory.empty());  // not selected: no suggestion
  EXPECT_EQ(a.bestAlternativeGrade, 0.0f);
  EXPECT_EQ(a.suggestedChannel, 0);
}

// --- optimisation -----------------------------------------------------------------------------

TEST_F(UtilizationTest, SuggestsTheBestWeightedCandidate) {
  fillHistory(101);
  AccessPoint& a = add(1, 3, -50.0f);
  add(2, 1, -50.0f);   // disturbs channels 1..5
  add(3, 11, -50.0f);  // disturbs channels 7..14
  select(a);
  pass();
  // Channel 6 is the only plan channel clear of both; the others lose a quarter.
  EXPECT_EQ(a.suggestedChannel, 6);
  EXPECT_FLOAT_EQ(a.bestAlternativeGrade, 100.0f);
  EXPECT_EQ(a.suggestionHistory, (std::vector<uint8_t>{6}));
  EXPECT_EQ(preferredChannel(a), 6);
  EXPECT_EQ(utilizationChannelText(model.scanStatistics, a), "3->6");
}

TEST_F(UtilizationTest, EqualCandidatesGoToTheHigherChannel) {
  fillHistory(101);
  AccessPoint& a = add(1, 3, -50.0f);
  select(a);
  pass();
  // Alone on an idle band every plan channel grades 100: 11 wins the tie with 1 and 6.
  EXPECT_EQ(a.suggestedChannel, 11);
}

TEST_F(UtilizationTest, FortyMegahertzCandidatesStayWhereTheSecondaryFits) {
  fillHistory(101);
  AccessPoint& above = add(1, 3, -50.0f, 40, 1);  // candidates 1..7
  select(above);
  pass();
  EXPECT_EQ(above.suggestedChannel, 6);
}

TEST_F(UtilizationTest, WithExactly100RowsNoChannelIsSuggested) {
  fillHistory(100);
  AccessPoint& a = add(1, 3, -50.0f);
  select(a);
  pass();
  EXPECT_FLOAT_EQ(a.grade, 100.0f);
  EXPECT_EQ(gradeOnChannel(model, &a, 6), GRADE_UNAVAILABLE);
  EXPECT_EQ(a.suggestedChannel, 0);
  EXPECT_EQ(a.suggestionHistory, (std::vector<uint8_t>{3}));
  EXPECT_EQ(utilizationChannelText(model.scanStatistics, a), "3");
}

TEST_F(UtilizationTest, NoCandidateReachesTheThreshold) {
  fillHistory(101);
  // On plan channel 6 the threshold is the full grade (100 here). Channels 1 and 11 carry a
  // strong neighbour each, and every other candidate loses a quarter for being off the plan.
  AccessPoint& a = add(1, 6, -50.0f);
  add(2, 1, -20.0f);
  add(3, 11, -20.0f);
  select(a);
  pass();
  EXPECT_FLOAT_EQ(a.grade, 100.0f);
  EXPECT_EQ(a.suggestedChannel, 0);
  EXPECT_EQ(a.suggestionHistory, (std::vector<uint8_t>{6}));
  EXPECT_EQ(utilizationChannelText(model.scanStatistics, a), "6");
}

TEST_F(UtilizationTest, GradeOnChannelUnavailable) {
  fillHistory(101);
  AccessPoint& a = add(1, 3, -50.0f);
  AccessPoint fiveGhz = a;
  fiveGhz.band = 1;
  EXPECT_EQ(gradeOnChannel(model, nullptr, 6), GRADE_UNAVAILABLE);
  EXPECT_EQ(gradeOnChannel(model, &fiveGhz, 6), GRADE_UNAVAILABLE);
  AccessPoint detached = a;
  model.accessPoints.clear();
  EXPECT_EQ(gradeOnChannel(model, &detached, 6), GRADE_UNAVAILABLE);
}

TEST_F(UtilizationTest, GradeOnChannelCountsNeighboursOnBothSides) {
  fillHistory(101);
  add(2, 6, -50.0f);
  AccessPoint& a = add(1, 3, -50.0f);
  add(3, 6, -50.0f);
  AccessPoint& selectedNeighbour = add(4, 6, -50.0f);
  select(selectedNeighbour);  // selected access points are left out
  // On channel 6: two co-channel neighbours of equal strength -> C = 80.
  EXPECT_NEAR(gradeOnChannel(model, &a, 6), 31.25f + 20 + 10 + 25 + 12, 1e-4f);
  // Off the band plan (channel 0) there is nothing to count: 101.25, clamped.
  EXPECT_NEAR(gradeOnChannel(model, &a, 0), 100.0f, 1e-4f);
}

// A device can send anything: channel 200 or 65535, band 5, bogus bandwidths, a bin count that
// would put the bins far past the row, a non-positive one, no floor, NaN and infinite levels.
TEST_F(UtilizationTest, HostileValuesStayInsideTheRowsAndFinite) {
  for (int binsPerSweep : {256, 100000, 2000000000, 1, 0, -256}) {
    SCOPED_TRACE(binsPerSweep);
    model.accessPoints.clear();
    model.band24.sweepHistory.clear();
    model.scanStatistics = ScanStatistics{};
    DeviceInfo info;
    info.band1BinsPerSweep = binsPerSweep;
    info.band1MinDbm = notAvailable();
    model.setDeviceInfo(info);
    std::vector<float> row(BAND_2G4_ROW_BINS, -60.0f);
    row[80] = notAvailable();
    row[81] = INFINITY;
    row[82] = -INFINITY;
    for (int i = 0; i < 101; ++i) appendRow(row);
    AccessPoint& wild = add(1, 200, -50.0f, 40, 1);
    add(2, 5, -60.0f, 40, 7);
    add(3, 6, -60.0f, 20, 0, 5);
    add(4, 14, -60.0f, 40, 2);
    AccessPoint& normal = add(5, 6, -40.0f);
    add(6, 65535, -30.0f);
    add(7, 9, -90.0f, 40, 2);
    select(wild);
    select(normal);
    pass();
    for (const auto& e : model.accessPoints) {
      SCOPED_TRACE(static_cast<int>(e->bssid[5]));
      EXPECT_TRUE(std::isfinite(e->grade));
      EXPECT_GE(e->grade, 0.0f);
      EXPECT_LE(e->grade, 100.0f);
      EXPECT_TRUE(std::isfinite(e->utilization));
      EXPECT_TRUE(std::isfinite(e->bestAlternativeGrade));
      EXPECT_LE(e->suggestionHistory.size(), 1u);
    }
    // Every channel for every entry, including a secondary-below access point asked about
    // channels 1..4, whose lower edge lies under 2400 MHz.
    for (const auto& e : model.accessPoints)
      for (int n : {-5, 0, 1, 2, 3, 4, 6, 9, 13, 14, 15, 300, 70000})
        EXPECT_TRUE(std::isfinite(gradeOnChannel(model, e.get(), n))) << n;
  }
}

// Levels that are not numbers (a corrupt calibration) are left out of the mean.
TEST_F(UtilizationTest, NonFiniteLevelsAreLeftOutOfTheMean) {
  std::vector<float> row(BAND_2G4_ROW_BINS, FLOOR);
  for (int bin = 70; bin <= 120; ++bin) row[static_cast<size_t>(bin)] = -70.0f;
  row[80] = notAvailable();
  row[81] = INFINITY;
  for (int i = 0; i < 100; ++i) appendRow(row);
  AccessPoint& a = add(1, 6, -50.0f);
  pass();
  EXPECT_NEAR(a.utilization, 50.0f, 1e-4f);
}

// --- preferred channel and suggestion history ------------------------------------------------

TEST(PreferredChannel, MostFrequentLowestOnTie) {
  struct Case {
    const char* name;
    std::vector<uint8_t> history;
    uint8_t expected;
  };
  const Case cases[] = {
      {"empty", {}, 0},
      {"one", {9}, 9},
      {"majority", {11, 1, 11}, 11},
      {"tie goes to the lowest", {6, 3, 6, 3}, 3},
      {"channel 14 never counts", {14, 14, 2}, 2},
      {"only 14", {14}, 0},
      {"out of range only", {0, 200}, 0},
  };
  for (const auto& c : cases) {
    AccessPoint ap;
    ap.suggestionHistory = c.history;
    EXPECT_EQ(preferredChannel(ap), c.expected) << c.name;
  }
}

TEST(SuggestionHistory, KeepsTheNewestTen) {
  AccessPoint ap;
  for (uint8_t n = 1; n <= 13; ++n) appendSuggestion(ap, n);
  EXPECT_EQ(ap.suggestionHistory, (std::vector<uint8_t>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
}

// --- selection -------------------------------------------------------------------------------

TEST(OptimizationSelection, AddRemoveContains) {
  ScanStatistics stats;
  const Bssid zero{};
  const Bssid a{1, 2, 3, 4, 5, 6};
  const Bssid b{9, 9, 9, 9, 9, 9};

  EXPECT_FALSE(addToSelection(stats, zero));
  EXPECT_TRUE(selectionContains(stats, zero)) << "an all-zero BSSID matches a free slot";
  EXPECT_FALSE(selectionContains(stats, a));
  EXPECT_FALSE(removeFromSelection(stats, a));
  EXPECT_FALSE(removeFromSelection(stats, zero));

  EXPECT_TRUE(addToSelection(stats, a));
  EXPECT_TRUE(addToSelection(stats, a)) << "a second copy is not refused";
  EXPECT_TRUE(selectionContains(stats, a));
  EXPECT_TRUE(removeFromSelection(stats, a));
  EXPECT_TRUE(selectionContains(stats, a)) << "only the first copy is removed";
  EXPECT_TRUE(removeFromSelection(stats, a));
  EXPECT_FALSE(selectionContains(stats, a));

  for (int i = 0; i < OPTIMIZATION_SLOTS; ++i) {
    Bssid id{0x02, 0, 0, 0, 0, static_cast<uint8_t>(i + 1)};
    ASSERT_TRUE(addToSelection(stats, id)) << i;
  }
  EXPECT_FALSE(addToSelection(stats, b)) << "the 21st is refused";
  EXPECT_FALSE(selectionContains(stats, zero)) << "no free slot left";
  EXPECT_TRUE(removeFromSelection(stats, Bssid{0x02, 0, 0, 0, 0, 7}));
  EXPECT_TRUE(addToSelection(stats, b));
  EXPECT_EQ(stats.optimizationSelection[6], b) << "the freed slot is reused";
}

// --- texts ------------------------------------------------------------------------------------

TEST(UtilizationTexts, ChannelText) {
  struct Case {
    const char* name;
    int channel, bandwidth, secondary, band;
    bool selected;
    std::vector<uint8_t> history;
    const char* expected;
  };
  const Case cases[] = {
      {"plain", 6, 20, 0, 0, false, {}, "6"},
      {"40 MHz above", 6, 40, 1, 0, false, {}, "6L"},
      {"40 MHz below", 6, 40, 2, 0, false, {}, "6U"},
      {"secondary on a 20 MHz AP", 6, 20, 1, 0, false, {}, "6"},
      {"5 GHz 40 MHz", 36, 40, 1, 1, false, {}, "36L"},
      {"unknown band", 6, 40, 1, 5, false, {}, "6"},
      {"selected, stays", 3, 20, 0, 0, true, {3}, "3"},
      {"selected, moves", 3, 20, 0, 0, true, {6}, "3->6"},
      {"selected, 40 MHz moves", 3, 40, 1, 0, true, {5}, "3L->5L"},
      {"selected, never graded", 3, 20, 0, 0, true, {}, "3->?"},
      {"selected, only channel 14", 3, 20, 0, 0, true, {14}, "3->?"},
  };
  for (const auto& c : cases) {
    ScanStatistics stats;
    AccessPoint ap;
    ap.bssid = {1, 1, 1, 1, 1, 1};
    ap.channel = static_cast<uint16_t>(c.channel);
    ap.bandwidthMHz = c.bandwidth;
    ap.secondaryChannel = c.secondary;
    ap.band = c.band;
    ap.suggestionHistory = c.history;
    if (c.selected) {
      ASSERT_TRUE(addToSelection(stats, ap.bssid));
    }
    EXPECT_EQ(utilizationChannelText(stats, ap), c.expected) << c.name;
  }
}

TEST(UtilizationTexts, GradeLetter) {
  struct Case {
    float grade;
    const char* letter;
  };
  const Case cases[] = {{100, "A"}, {90, "A"}, {89.99f, "B"}, {80, "B"}, {70, "C"}, {60, "D"},
                        {59.9f, "F"}, {0, "F"}, {150, "A"}, {-5, "F"}, {NAN, "F"}};
  for (const auto& c : cases) EXPECT_STREQ(gradeLetter(c.grade), c.letter) << c.grade;
  EXPECT_EQ(shownGrade(130.0f), 100.0f);
  EXPECT_EQ(shownGrade(NAN), 0.0f);
}

// --- geometry ---------------------------------------------------------------------------------

TEST(ChannelGeometry, EdgesOverlapAndBins) {
  AccessPoint ap;
  ap.band = 0;
  ap.channel = 6;
  ap.bandwidthMHz = 20;
  auto edges = bandEdges(ap, 6);
  ASSERT_TRUE(edges);
  EXPECT_DOUBLE_EQ(edges->lowMHz, 2427.0);
  EXPECT_DOUBLE_EQ(edges->highMHz, 2447.0);
  const BinSpan bins = binRange(*edges, 2.56, 256);
  EXPECT_EQ(bins.first, 70);
  EXPECT_EQ(bins.last, 120);
  EXPECT_DOUBLE_EQ(bandEdges(ap, 14)->lowMHz, 2474.0);

  auto overlap = overlapRange(ap, 3);
  ASSERT_TRUE(overlap);
  EXPECT_EQ(overlap->first, 1);
  EXPECT_EQ(overlap->last, 7);
  EXPECT_EQ(overlapRange(ap, 14)->first, 12);
  EXPECT_EQ(overlapRange(ap, 12)->last, 14);
  EXPECT_FALSE(overlapRange(ap, 15));
  EXPECT_FALSE(overlapRange(ap, 0));

  ap.bandwidthMHz = 40;
  ap.secondaryChannel = 1;
  EXPECT_EQ(secondaryChannelOn(ap, 3), 7);
  EXPECT_EQ(secondaryChannelOn(ap, 10), 0);
  EXPECT_DOUBLE_EQ(bandEdges(ap, 3)->highMHz, 2452.0);  // top of channel 7
  EXPECT_FALSE(bandEdges(ap, 10));
  EXPECT_EQ(overlapRange(ap, 3)->last, 11);
  EXPECT_FALSE(overlapRange(ap, 10));

  ap.secondaryChannel = 2;
  ap.channel = 9;
  EXPECT_EQ(secondaryChannelOn(ap, 9), 5);
  EXPECT_DOUBLE_EQ(bandEdges(ap, 9)->lowMHz, 2422.0);  // bottom of channel 5
  EXPECT_EQ(overlapRange(ap, 9)->first, 1);
  ap.channel = 3;
  EXPECT_FALSE(bandEdges(ap, 9)) << "own channel below 5 cannot have a secondary below";

  ap.secondaryChannel = 0;
  EXPECT_TRUE(bandEdges(ap, 6));
  EXPECT_FALSE(overlapRange(ap, 6));
  ap.bandwidthMHz = 80;
  EXPECT_FALSE(bandEdges(ap, 6));
  ap.bandwidthMHz = 20;
  ap.channel = 15;
  EXPECT_FALSE(bandEdges(ap, 6));
  ap.channel = 6;
  ap.band = 1;
  EXPECT_FALSE(bandEdges(ap, 6));
  EXPECT_FALSE(overlapRange(ap, 6));
}

TEST(ChannelGeometry, BinRangeClampsIntoTheRow) {
  const BinSpan high = binRange({2490.0, 2600.0}, 2.56, 256);
  EXPECT_EQ(high.first, 231);
  EXPECT_EQ(high.last, 255);
  EXPECT_TRUE(binRange({2600.0, 2700.0}, 2.56, 256).empty());
  const BinSpan low = binRange({2300.0, 2405.0}, 2.56, 256);
  EXPECT_EQ(low.first, 0);
  EXPECT_EQ(low.last, 12);
  EXPECT_TRUE(binRange({2300.0, 2350.0}, 2.56, 256).empty());
  EXPECT_TRUE(binRange({2427.0, 2447.0}, 0.0, 256).empty());
  EXPECT_TRUE(binRange({2427.0, 2447.0}, -2.56, 256).empty());
  EXPECT_TRUE(binRange({2427.0, 2447.0}, NAN, 256).empty());
  EXPECT_EQ(binRange({2427.0, 1e30}, 2.56, 256).last, 255);
}

}  // namespace
}  // namespace tarvo
