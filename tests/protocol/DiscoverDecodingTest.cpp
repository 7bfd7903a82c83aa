// Discover responses of the three generations, assembled byte by byte, decoded into DeviceInfo.

#include <gtest/gtest.h>

#include <cmath>

#include "ProtocolTestFrames.h"
#include "acquisition/protocol/AccessoryProtocolFactory.h"
#include "acquisition/protocol/AccessoryProtocolTarvo.h"
#include "acquisition/protocol/AccessoryProtocolTarvo2.h"
#include "acquisition/protocol/AccessoryProtocolTarvo25.h"

namespace tarvo {
namespace {

using test::Frame;

// First generation: power pair 0.5 / -60.0, a spectrum pair of its own (1.0 / -120.0) that the
// decoder must ignore, attenuations 0, 4, ..., 28 dB, floor code 20.
Frame gen1Discover(uint8_t spectrum = 1, uint8_t power = 1, uint8_t floorCode = 20) {
  Frame f(68, {0xAA, 0x61, 0x02, 0x11, 0x22, 0x33, 0x44, 0x55});
  f.u8(8, spectrum).u8(9, power).u8(10, 0x66).u8(11, 0x77);
  f.raw(12, {0x00, 0x00, 0x00, 0x00, 0x40, 0x80, 0x00, 0x00, 0x41, 0x00, 0x00, 0x00, 0x41, 0x40, 0x00, 0x00,
             0x41, 0x80, 0x00, 0x00, 0x41, 0xA0, 0x00, 0x00, 0x41, 0xC0, 0x00, 0x00, 0x41, 0xE0, 0x00, 0x00});
  f.raw(44, {0x3F, 0x00, 0x00, 0x00});  // power slope 0.5
  f.raw(48, {0xC2, 0x70, 0x00, 0x00});  // power offset -60.0
  f.raw(52, {0x3F, 0x80, 0x00, 0x00});  // spectrum slope 1.0 (overridden)
  f.raw(56, {0xC2, 0xF0, 0x00, 0x00});  // spectrum offset -120.0 (overridden)
  f.raw(60, {0xDE, 0xAD, 0xBE, 0xEF});
  f.u8(64, floorCode).raw(65, {0xEE, 0xEE, 0xEE});
  return f;
}

// Second generation: power pair 0.5 / -20.0 (used as -25.0), spectrum pair 0.5 / -120.0, floor 30.
Frame gen2Discover(uint8_t spectrum = 1, uint8_t power = 1) {
  Frame f(60, {0xAA, 0x60, 0x06, 0x11, 0x22, 0x33, 0x44, 0x55});
  f.u8(8, spectrum).u8(9, power).raw(10, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE}).u8(15, 0x99);
  for (int i = 0; i < 17; ++i) f.u8(16 + i, static_cast<uint8_t>(i * 0x11 % 256));
  f.raw(36, {0x3F, 0x00, 0x00, 0x00});  // power slope 0.5
  f.raw(40, {0xC1, 0xA0, 0x00, 0x00});  // power offset -20.0
  f.raw(44, {0x3F, 0x00, 0x00, 0x00});  // spectrum slope 0.5
  f.raw(48, {0xC2, 0xF0, 0x00, 0x00});  // spectrum offset -120.0
  f.raw(52, {0x7F, 0xC0, 0x00, 0x00});  // ignored (a NaN, to show it is not used)
  f.u8(56, 30);
  return f;
}

// Dual band: band 1 pair 0.5 / -110.0 with floor code 10, band 2 pair 0.25 / -100.0 with 40.
Frame dualDiscover(uint8_t scan = 1, uint8_t band1 = 1, uint8_t band2 = 1) {
  Frame f(56, {0xAA, 0x60, 0x07, 0x11, 0x22, 0x33, 0x44, 0x55});
  f.u8(8, scan).u8(9, band1).u8(10, band2).u8(11, 0xEE);
  f.raw(12, {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5, 0x06, 0x17, 0x28, 0x39, 0x4A, 0x5B});
  f.raw(24, {0x3F, 0x00, 0x00, 0x00});  // band 1 slope 0.5
  f.raw(28, {0xC2, 0xDC, 0x00, 0x00});  // band 1 offset -110.0
  f.raw(32, {0x7F, 0xC0, 0x00, 0x00});  // ignored
  f.u8(36, 10);
  f.raw(40, {0x3E, 0x80, 0x00, 0x00});  // band 2 slope 0.25
  f.raw(44, {0xC2, 0xC8, 0x00, 0x00});  // band 2 offset -100.0
  f.raw(48, {0x7F, 0xC0, 0x00, 0x00});  // ignored
  f.u8(52, 40);
  return f;
}

// Decodes one spectrum code with a decoder (to see the calibration it now holds).
float spectrumValue(AccessoryProtocol& decoder, int generation, uint8_t code, int bandByte = 0) {
  const int length = generation == GENERATION_TARVO ? 52 : (bandByte == 1 ? 516 : 260);
  const int first = generation == GENERATION_TARVO ? 2 : 4;
  Frame f(length, {0xAA, 0xA0, static_cast<uint8_t>(bandByte)});
  f.u8(first, code);
  float out[512];
  int count = 0, band = 0, segment = 0;
  EXPECT_EQ(decoder.decodeSpectrum(f.data(), f.size(), out, 512, &count, &band, &segment), 0);
  return out[0];
}

TEST(DiscoverFirstGeneration, FillsEveryField) {
  AccessoryProtocolTarvo decoder;
  const Frame f = gen1Discover();
  DeviceInfo info;
  ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), &info), 0);

  EXPECT_EQ(info.generationCode, 2);
  EXPECT_EQ(info.infoByte1, 0x11);
  EXPECT_EQ(info.infoByte2, 0x22);
  EXPECT_EQ(info.reserved, 0);
  EXPECT_EQ(info.infoByte4, 0x44);
  EXPECT_EQ(info.infoByte5, 0x55);
  EXPECT_EQ(info.infoByte6, 0x77);
  EXPECT_EQ(info.infoByte7, 0x77);
  EXPECT_TRUE(info.band1SpectrumCapable);
  EXPECT_FALSE(info.band2SpectrumCapable);
  EXPECT_FALSE(info.band1ScanCapable);
  EXPECT_FALSE(info.band2ScanCapable);
  EXPECT_TRUE(info.powerCapable);
  EXPECT_TRUE(info.internalAttenuatorAvailable);
  EXPECT_TRUE(info.fixedScanCycle);
  EXPECT_EQ(info.deviceIdText, "0");
  EXPECT_FALSE(info.laterGeneration);
  EXPECT_EQ(info.internalAttenuations, (std::array<float, 8>{0, 4, 8, 12, 16, 20, 24, 28}));
  EXPECT_EQ(info.internalAttenuationCount, 8);
  EXPECT_EQ(info.gen1ExtraWord, 0xDEADBEEFu);
  EXPECT_EQ(info.powerPacketsPerTrace, 6);
  EXPECT_EQ(info.band1PacketsPerSweep, 2);
  EXPECT_EQ(info.band2PacketsPerSweep, 0);
  EXPECT_EQ(info.gen1Marker, 1);
  EXPECT_EQ(info.band1BinsPerSweep, 100);
  EXPECT_EQ(info.band2BinsPerSweep, 0);
  EXPECT_EQ(info.powerSamplesPerTrace, 240);
  EXPECT_EQ(info.band1BinsShown, 96);
  EXPECT_EQ(info.band2BinsShown, 0);
  EXPECT_EQ(info.band1AmplitudeLevels, 236u);
  EXPECT_EQ(info.band2AmplitudeLevels, 256u);
  EXPECT_FLOAT_EQ(info.band1SweepPeriod, 0.1f);
  EXPECT_FLOAT_EQ(info.band2SweepPeriod, 0.1f);
  EXPECT_FLOAT_EQ(info.powerPeriod, 0.1f);
  EXPECT_FLOAT_EQ(info.demoScanDelay, 110.0f);
  EXPECT_FLOAT_EQ(info.demoScanInterval, 20.0f);
  ASSERT_EQ(info.timebaseTable.size(), 18u);
  EXPECT_FLOAT_EQ(info.timebaseTable[0], 1.0f);
  EXPECT_FLOAT_EQ(info.timebaseTable[15], 0.00001f);
  EXPECT_FLOAT_EQ(info.timebaseTable[17], 0.000002f);
  EXPECT_EQ(info.rollTimebaseCount, 4);
  EXPECT_EQ(info.rollTimebaseCode, 4);
  EXPECT_EQ(info.amplitudeScaleTable, std::vector<float>{1.0f});
  // Power pair 0.5 / -60: -60 .. 67.5, which crosses 0 dBm and so ends at 0.
  EXPECT_FLOAT_EQ(info.powerMinDbm, -60.0f);
  EXPECT_FLOAT_EQ(info.powerMaxDbm, 0.0f);
  // Spectrum with the fixed 45/124 and -100: floor 20 * 0.3629032 - 100 = -92.74194, top -7.45968.
  EXPECT_NEAR(info.band1MinDbm, -92.741935f, 1e-4);
  EXPECT_NEAR(info.band1MaxDbm, -7.459677f, 1e-4);
  EXPECT_TRUE(std::isnan(info.band2MinDbm));
  EXPECT_TRUE(std::isnan(info.band2MaxDbm));

  EXPECT_TRUE(decoder.canSweep());
  EXPECT_TRUE(decoder.canCapturePower());
  EXPECT_FALSE(decoder.canScan());
}

TEST(DiscoverFirstGeneration, OwnSpectrumPairIsReplacedByTheFixedOne) {
  AccessoryProtocolTarvo decoder;
  const Frame f = gen1Discover();
  ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), nullptr), 0);
  EXPECT_EQ(std::bit_cast<uint32_t>(AccessoryProtocolTarvo::SPECTRUM_SLOPE), 0x3EB9CE74u);
  // code 255 -> 255 * 45/124 - 100; with the response's own pair it would be 135.
  EXPECT_NEAR(spectrumValue(decoder, 2, 255), -7.459677f, 1e-4);
  EXPECT_NEAR(spectrumValue(decoder, 2, 100), -63.709677f, 1e-4);
  // Below the floor (code 20) the floor itself, computed with the fixed pair.
  EXPECT_NEAR(spectrumValue(decoder, 2, 0), -92.741935f, 1e-4);
}

TEST(DiscoverFirstGeneration, AbsentCapabilitiesLeaveRangesNotAvailable) {
  AccessoryProtocolTarvo decoder;
  const Frame f = gen1Discover(/*spectrum=*/0, /*power=*/0);
  DeviceInfo info;
  ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), &info), 0);
  EXPECT_FALSE(info.band1SpectrumCapable);
  EXPECT_FALSE(info.powerCapable);
  for (float v : {info.powerMinDbm, info.powerMaxDbm, info.band1MinDbm, info.band1MaxDbm})
    EXPECT_EQ(std::bit_cast<uint32_t>(v), 0xFFC00000u);
  EXPECT_FALSE(decoder.canSweep());
  EXPECT_FALSE(decoder.canCapturePower());
}

// Recovering the floor code from the float floor ((floor - offset) / slope) truncates 9.9999 to 9
// for some codes; the level count must be 256 - code for every code.
TEST(DiscoverFirstGeneration, AmplitudeLevelsAre256MinusFloorCodeForEveryCode) {
  AccessoryProtocolTarvo decoder;
  for (int code = 0; code < 256; ++code) {
    const Frame f = gen1Discover(1, 1, static_cast<uint8_t>(code));
    DeviceInfo info;
    ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), &info), 0);
    EXPECT_EQ(info.band1AmplitudeLevels, 256u - code) << "floor code " << code;
  }
}

TEST(DiscoverSecondGeneration, FillsEveryField) {
  AccessoryProtocolTarvo2 decoder;
  const Frame f = gen2Discover();
  DeviceInfo info;
  ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), &info), 0);

  EXPECT_EQ(info.generationCode, 6);
  EXPECT_EQ(info.infoByte1, 0x11);
  EXPECT_EQ(info.infoByte2, 0x22);
  EXPECT_EQ(info.reserved, 0);
  EXPECT_EQ(info.infoByte4, 0x44);
  EXPECT_EQ(info.infoByte5, 0x55);
  EXPECT_EQ(info.infoByte6, 0x99);
  EXPECT_EQ(info.infoByte7, 0x99);
  EXPECT_TRUE(info.band1SpectrumCapable);
  EXPECT_FALSE(info.band2SpectrumCapable);
  EXPECT_TRUE(info.band1ScanCapable);
  EXPECT_FALSE(info.band2ScanCapable);
  EXPECT_TRUE(info.powerCapable);
  EXPECT_FALSE(info.internalAttenuatorAvailable);
  EXPECT_TRUE(info.fixedScanCycle);
  EXPECT_EQ(info.deviceIdText, "00112233445566778899aabbccddeeff10");
  EXPECT_TRUE(info.laterGeneration);
  EXPECT_EQ(info.internalAttenuations, (std::array<float, 8>{}));
  EXPECT_EQ(info.internalAttenuationCount, 0);
  EXPECT_EQ(info.gen1ExtraWord, 0u);
  EXPECT_EQ(info.powerPacketsPerTrace, 1);
  EXPECT_EQ(info.band1PacketsPerSweep, 1);
  EXPECT_EQ(info.band2PacketsPerSweep, 1);
  EXPECT_EQ(info.gen1Marker, 0);
  EXPECT_EQ(info.band1BinsPerSweep, 256);
  EXPECT_EQ(info.band2BinsPerSweep, 0);
  EXPECT_EQ(info.powerSamplesPerTrace, 1000);
  EXPECT_EQ(info.band1BinsShown, 245);
  EXPECT_EQ(info.band2BinsShown, 0);
  EXPECT_EQ(info.band1AmplitudeLevels, 226u);
  EXPECT_EQ(info.band2AmplitudeLevels, 256u);
  EXPECT_FLOAT_EQ(info.band1SweepPeriod, 0.2f);
  EXPECT_FLOAT_EQ(info.band2SweepPeriod, 0.2f);
  EXPECT_FLOAT_EQ(info.powerPeriod, 0.1f);
  EXPECT_FLOAT_EQ(info.demoScanDelay, 110.0f);
  EXPECT_FLOAT_EQ(info.demoScanInterval, 20.0f);
  EXPECT_EQ(info.timebaseTable.size(), 18u);
  EXPECT_EQ(info.rollTimebaseCount, 4);
  EXPECT_EQ(info.rollTimebaseCode, 4);
  EXPECT_EQ(info.amplitudeScaleTable, std::vector<float>{1.0f});
  // Power offset -20 sent, -25 used: -25 .. 102.5, ending at 0.
  EXPECT_FLOAT_EQ(info.powerMinDbm, -25.0f);
  EXPECT_FLOAT_EQ(info.powerMaxDbm, 0.0f);
  // Spectrum 0.5 / -120 with floor code 30: floor -105 lies above -120, top 7.5.
  EXPECT_FLOAT_EQ(info.band1MinDbm, -105.0f);
  EXPECT_FLOAT_EQ(info.band1MaxDbm, 7.5f);
  EXPECT_TRUE(std::isnan(info.band2MinDbm));
  EXPECT_TRUE(std::isnan(info.band2MaxDbm));
}

TEST(DiscoverSecondGeneration, PowerOffsetIsUsedFiveDecibelsLower) {
  AccessoryProtocolTarvo2 decoder;
  const Frame f = gen2Discover();
  ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), nullptr), 0);
  Frame power(1254, {0xAA, 0x20});
  power.u8(4, 0).u8(5, 10);
  float out[1000];
  int count = 0, segment = 0;
  bool triggered = true;
  ASSERT_EQ(decoder.decodePower(power.data(), power.size(), out, 1000, &count, &segment, &triggered), 0);
  EXPECT_FLOAT_EQ(out[0], -25.0f);
  EXPECT_FLOAT_EQ(out[1], -20.0f);
  // The spectrum pair is the response's own, floored at code 30.
  EXPECT_FLOAT_EQ(spectrumValue(decoder, 6, 200), -20.0f);
  EXPECT_FLOAT_EQ(spectrumValue(decoder, 6, 0), -105.0f);
}

TEST(DiscoverSecondGeneration, ScanFollowsTheSpectrumFlag) {
  AccessoryProtocolTarvo2 decoder;
  const Frame f = gen2Discover(/*spectrum=*/0, /*power=*/1);
  DeviceInfo info;
  ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), &info), 0);
  EXPECT_FALSE(info.band1SpectrumCapable);
  EXPECT_FALSE(info.band1ScanCapable);
  EXPECT_TRUE(std::isnan(info.band1MinDbm));
  EXPECT_FALSE(std::isnan(info.powerMinDbm));
  EXPECT_TRUE(decoder.canScan());  // the decoder's scan flag stays set
  EXPECT_FALSE(decoder.canSweep());
}

TEST(DiscoverDualBand, FillsEveryField) {
  AccessoryProtocolTarvo25 decoder;
  const Frame f = dualDiscover();
  DeviceInfo info;
  ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), &info), 0);

  EXPECT_EQ(info.generationCode, 7);
  EXPECT_EQ(info.infoByte1, 0x11);
  EXPECT_EQ(info.infoByte2, 0x22);
  EXPECT_EQ(info.reserved, 0);
  EXPECT_EQ(info.infoByte4, 0);
  EXPECT_EQ(info.infoByte5, 0);
  EXPECT_EQ(info.infoByte6, 0);
  EXPECT_EQ(info.infoByte7, 0);
  EXPECT_TRUE(info.band1SpectrumCapable);
  EXPECT_TRUE(info.band2SpectrumCapable);
  EXPECT_TRUE(info.band1ScanCapable);
  EXPECT_TRUE(info.band2ScanCapable);
  EXPECT_FALSE(info.powerCapable);
  EXPECT_FALSE(info.internalAttenuatorAvailable);
  EXPECT_FALSE(info.fixedScanCycle);
  EXPECT_EQ(info.deviceIdText, "a0b1c2d3e4f5061728394a5b");
  EXPECT_TRUE(info.laterGeneration);
  EXPECT_EQ(info.internalAttenuations, (std::array<float, 8>{}));
  EXPECT_EQ(info.internalAttenuationCount, 0);
  EXPECT_EQ(info.gen1ExtraWord, 0u);
  EXPECT_EQ(info.powerPacketsPerTrace, 1);
  EXPECT_EQ(info.band1PacketsPerSweep, 1);
  EXPECT_EQ(info.band2PacketsPerSweep, 1);
  EXPECT_EQ(info.gen1Marker, 0);
  EXPECT_EQ(info.band1BinsPerSweep, 256);
  EXPECT_EQ(info.band2BinsPerSweep, 512);
  EXPECT_EQ(info.powerSamplesPerTrace, 0);
  EXPECT_EQ(info.band1BinsShown, 245);
  EXPECT_EQ(info.band2BinsShown, 512);
  EXPECT_EQ(info.band1AmplitudeLevels, 246u);
  EXPECT_EQ(info.band2AmplitudeLevels, 216u);
  EXPECT_FLOAT_EQ(info.band1SweepPeriod, 0.25f);
  EXPECT_FLOAT_EQ(info.band2SweepPeriod, 1.25f);
  EXPECT_FLOAT_EQ(info.powerPeriod, 0.1f);
  EXPECT_FLOAT_EQ(info.demoScanDelay, 0.0f);
  EXPECT_FLOAT_EQ(info.demoScanInterval, 4.0f);
  EXPECT_TRUE(info.timebaseTable.empty());
  EXPECT_EQ(info.rollTimebaseCount, -1);
  EXPECT_EQ(info.rollTimebaseCode, -1);
  EXPECT_TRUE(info.amplitudeScaleTable.empty());
  EXPECT_TRUE(std::isnan(info.powerMinDbm));
  EXPECT_TRUE(std::isnan(info.powerMaxDbm));
  // Band 1: 0.5 / -110, floor 10 -> -105 .. 17.5. Band 2: 0.25 / -100, floor 40 -> -90 .. -36.25.
  EXPECT_FLOAT_EQ(info.band1MinDbm, -105.0f);
  EXPECT_FLOAT_EQ(info.band1MaxDbm, 17.5f);
  EXPECT_FLOAT_EQ(info.band2MinDbm, -90.0f);
  EXPECT_FLOAT_EQ(info.band2MaxDbm, -36.25f);
  EXPECT_NE(info.band1AmplitudeLevels, info.band2AmplitudeLevels);

  // Each band decodes with its own pair and floor.
  EXPECT_FLOAT_EQ(spectrumValue(decoder, 7, 100, 0), -60.0f);
  EXPECT_FLOAT_EQ(spectrumValue(decoder, 7, 100, 1), -75.0f);
  EXPECT_FLOAT_EQ(spectrumValue(decoder, 7, 0, 0), -105.0f);
  EXPECT_FLOAT_EQ(spectrumValue(decoder, 7, 0, 1), -90.0f);
}

TEST(DiscoverDualBand, CapabilityFlagsCombine) {
  struct Case {
    const char* what;
    uint8_t scan, band1, band2;
    bool canSweep, band1Scan, band2Scan;
  };
  const Case cases[] = {
      {"2.4 GHz only, scanning", 1, 1, 0, true, true, false},
      {"5 GHz only, scanning", 1, 0, 1, true, false, true},
      {"both bands, no scanning", 0, 1, 1, true, false, false},
      {"nothing", 0, 0, 0, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    AccessoryProtocolTarvo25 decoder;
    const Frame f = dualDiscover(c.scan, c.band1, c.band2);
    DeviceInfo info;
    ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), &info), 0);
    EXPECT_EQ(decoder.canSweep(), c.canSweep);
    EXPECT_EQ(decoder.canScan(), c.scan != 0);
    EXPECT_FALSE(decoder.canCapturePower());
    EXPECT_EQ(info.band1ScanCapable, c.band1Scan);
    EXPECT_EQ(info.band2ScanCapable, c.band2Scan);
    EXPECT_EQ(std::isnan(info.band1MinDbm), c.band1 == 0);
    EXPECT_EQ(std::isnan(info.band2MaxDbm), c.band2 == 0);
  }
}

TEST(DiscoverAllGenerations, ValidatesInOrder) {
  struct Case {
    const char* what;
    int generation;
    std::vector<uint8_t> bytes;  // null buffer when empty and length < 0
    int length;
    int expected;
  };
  auto full = [](int generation) {
    switch (generation) {
      case 2:
        return gen1Discover().bytes;
      case 6:
        return gen2Discover().bytes;
      default:
        return dualDiscover().bytes;
    }
  };
  std::vector<Case> cases;
  for (int g : {2, 6, 7}) {
    auto bytes = full(g);
    const int length = static_cast<int>(bytes.size());
    cases.push_back({"no buffer", g, {}, length, -3});
    cases.push_back({"one byte", g, bytes, 1, -2});
    auto badSync = bytes;
    badSync[0] = 0xAB;
    cases.push_back({"bad sync", g, badSync, length, -1});
    cases.push_back({"two bytes", g, bytes, 2, -2});
    auto wrongType = bytes;
    wrongType[1] = 0x40;  // a configure acknowledgement
    cases.push_back({"wrong type", g, wrongType, length, -4});
    cases.push_back({"one byte short", g, bytes, length - 1, -2});
    auto otherGeneration = bytes;
    otherGeneration[2] = g == 6 ? 7 : 6;
    cases.push_back({"another generation", g, otherGeneration, length, -99});
    cases.push_back({"whole", g, bytes, length, 0});
  }
  for (const auto& c : cases) {
    auto decoder = createAccessoryProtocol(c.generation);
    ASSERT_TRUE(decoder);
    DeviceInfo info;
    const uint8_t* data = c.bytes.empty() ? nullptr : c.bytes.data();
    EXPECT_EQ(decoder->decodeDiscover(data, c.length, &info), c.expected) << "gen " << c.generation << ": " << c.what;
    if (c.expected != 0) {
      EXPECT_EQ(info, DeviceInfo{}) << "gen " << c.generation << ": " << c.what;
    }
  }
}

TEST(DiscoverAllGenerations, WithoutOutputRecordStillRecalibrates) {
  AccessoryProtocolTarvo25 decoder;
  EXPECT_FLOAT_EQ(spectrumValue(decoder, 7, 100, 0), 101.0f);  // initial pair 1.0 / 1.0
  const Frame f = dualDiscover();
  ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), nullptr), 0);
  EXPECT_FLOAT_EQ(spectrumValue(decoder, 7, 100, 0), -60.0f);
}

TEST(DecoderFactory, PicksTheClassOfTheGenerationCode) {
  EXPECT_TRUE(dynamic_cast<AccessoryProtocolTarvo*>(createAccessoryProtocol(2).get()));
  EXPECT_TRUE(dynamic_cast<AccessoryProtocolTarvo2*>(createAccessoryProtocol(6).get()));
  EXPECT_TRUE(dynamic_cast<AccessoryProtocolTarvo25*>(createAccessoryProtocol(7).get()));
  for (int code : {0, 1, 3, 5, 8, 255}) EXPECT_FALSE(createAccessoryProtocol(code)) << code;
}

}  // namespace
}  // namespace tarvo
