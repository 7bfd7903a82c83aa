#include "core/DomainTypes.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace tarvo {
namespace {

TEST(FrequencyPlans, BinsShownAndLastShownFrequency) {
  struct Case {
    FrequencyPlanId id;
    int bins, shown;
    double first, last;
  } cases[] = {
      {FrequencyPlanId::COARSE_2G4, 100, 96, 2400.0, 2495.0},
      {FrequencyPlanId::FINE_2G4, 256, 245, 2400.0, 2495.686},
      {FrequencyPlanId::BAND_5G, 512, 512, 5145.0, 5860.0},
  };
  for (const auto& c : cases) {
    const FrequencyPlan& p = frequencyPlan(c.id);
    EXPECT_EQ(p.binsPerSweep, c.bins);
    EXPECT_EQ(p.binsShown, c.shown);
    EXPECT_DOUBLE_EQ(p.frequencyMHz(0), c.first);
    EXPECT_NEAR(p.lastShownMHz(), c.last, 1e-3);
  }
  // 2495.7 when printed with one decimal, as the data log does.
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.1f", frequencyPlan(FrequencyPlanId::FINE_2G4).lastShownMHz());
  EXPECT_STREQ(buf, "2495.7");
}

TEST(FrequencyPlans, PlanPerGenerationAndBand) {
  EXPECT_EQ(frequencyPlanFor(2, 0)->binsPerSweep, 100);
  EXPECT_EQ(frequencyPlanFor(6, 0)->binsPerSweep, 256);
  EXPECT_EQ(frequencyPlanFor(7, 1)->binsPerSweep, 512);
  EXPECT_EQ(frequencyPlanFor(2, 1), nullptr);
  EXPECT_EQ(frequencyPlanFor(6, 1), nullptr);
  EXPECT_EQ(frequencyPlanFor(9, 0), nullptr);
}

TEST(ChannelCenters, TwoPointFourAndFiveGigahertz) {
  EXPECT_DOUBLE_EQ(channelCenterMHz(0, 1), 2412.0);
  EXPECT_DOUBLE_EQ(channelCenterMHz(0, 13), 2472.0);
  EXPECT_DOUBLE_EQ(channelCenterMHz(0, 14), 2484.0);
  EXPECT_DOUBLE_EQ(channelCenterMHz(1, 36), 5180.0);
  EXPECT_DOUBLE_EQ(channelCenterMHz(1, 165), 5825.0);
}

TEST(Labels, KnownAndUnknownValues) {
  EXPECT_STREQ(traceTypeLabel(4), "MAX HOLD");
  EXPECT_STREQ(traceTypeLabel(7), "UNKNOWN");
  EXPECT_STREQ(traceTypeLabel(-1), "UNKNOWN");
  EXPECT_STREQ(channelStandardLabel(4), "802.11n - 40MHz BELOW");
  EXPECT_STREQ(channelStandardLabel(11), "802.11ac - 160MHz");
  EXPECT_STREQ(channelStandardLabel(12), "UNKNOWN");
  EXPECT_STREQ(demoSignalLabel(3), "DSS");
  EXPECT_EQ(sanitizeTraceType(7), 0);
  EXPECT_EQ(sanitizeTraceType(6), 6);
  EXPECT_EQ(sanitizeBand(7), 0);
  EXPECT_STREQ(generationRow(1).demoPacketPrefix, "packets/Tarvo2/Tarvo2_");
  EXPECT_STREQ(generationRow(9).demoLabel, "Tarvo");
  EXPECT_EQ(generationRowOf(7), 2);
  EXPECT_EQ(generationRowOf(3), -1);
}

TEST(DeviceInfo, InitialColumn) {
  DeviceInfo d;
  EXPECT_EQ(d.generationCode, 0);
  EXPECT_EQ(d.band1BinsPerSweep, 100);
  EXPECT_EQ(d.band2BinsPerSweep, 1000);
  EXPECT_EQ(d.band1BinsShown, 95);
  EXPECT_EQ(d.powerSamplesPerTrace, 240);
  EXPECT_EQ(d.rollTimebaseCount, -1);
  EXPECT_TRUE(d.timebaseTable.empty());
  EXPECT_FLOAT_EQ(d.powerMinDbm, -40.0f);
  EXPECT_FLOAT_EQ(d.powerMaxDbm, 0.0f);
  EXPECT_FLOAT_EQ(d.band2MinDbm, -90.0f);
  DeviceInfo copy = d;
  copy.timebaseTable.push_back(1.0f);
  EXPECT_NE(copy, d);
}

TEST(CalibrationRanges, PowerRangeEndsAtZeroWhenItCrossesZero) {
  // lo = -60, hi = 255 * 0.5 - 60 = 67.5 -> (-60, 0)
  const DbmRange r = powerRangeFromCalibration(0.5f, -60.0f);
  EXPECT_FLOAT_EQ(r.minDbm, -60.0f);
  EXPECT_FLOAT_EQ(r.maxDbm, 0.0f);
  // Entirely below zero: untouched.
  const DbmRange below = powerRangeFromCalibration(0.2f, -80.0f);
  EXPECT_FLOAT_EQ(below.maxDbm, -29.0f);
  // Negative slope: min and max swap.
  const DbmRange neg = powerRangeFromCalibration(-0.2f, -10.0f);
  EXPECT_FLOAT_EQ(neg.minDbm, -61.0f);
  EXPECT_FLOAT_EQ(neg.maxDbm, -10.0f);
}

TEST(CalibrationRanges, SpectrumRangeStartsAtTheFloor) {
  const float slope = 45.0f / 124.0f;
  const float floorDbm = 20 * slope - 100.0f;
  const DbmRange r = spectrumRangeFromCalibration(slope, -100.0f, floorDbm);
  EXPECT_FLOAT_EQ(r.minDbm, floorDbm);
  EXPECT_NEAR(r.maxDbm, 255 * slope - 100.0f, 1e-4);
}

TEST(NotAvailable, IsTheQuietNanPattern) {
  EXPECT_EQ(std::bit_cast<uint32_t>(notAvailable()), 0xFFC00000u);
  EXPECT_TRUE(std::isnan(notAvailable()));
}

TEST(AccessPoint, DefaultsAndTexts) {
  AccessPoint ap;
  EXPECT_EQ(ap.recordKind, 3);
  EXPECT_EQ(ap.bandwidthMHz, -1);
  EXPECT_EQ(ap.security, -1);
  EXPECT_EQ(ap.cipher, -1);
  EXPECT_EQ(ap.sightings, 0u);
  EXPECT_TRUE(ap.suggestionHistory.empty());
  ap.bssid = {0xE0, 0x91, 0xF5, 0x76, 0x83, 0x22};
  EXPECT_EQ(ap.bssidText(), "[e0:91:f5:76:83:22]");
  const char name[] = "Cafe";
  std::copy(name, name + 4, ap.ssid.begin());
  ap.ssidLength = 3;
  EXPECT_EQ(ap.ssidText(), "Caf");
  ap.ssidLength = 255;  // a hostile length never reads past the field
  EXPECT_EQ(ap.ssidText(), "Cafe");
}

TEST(HexText, LowercaseTwoDigitsPerByte) {
  const uint8_t b[] = {0x00, 0xAB, 0x0F};
  EXPECT_EQ(hexText(b, 3), "00ab0f");
}

}  // namespace
}  // namespace tarvo
