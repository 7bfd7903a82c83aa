// The simulator's frames, checked against the byte layouts and against the shared framing rules.
// Expected bytes are worked out by hand from the layouts (IEEE single precision, big-endian), not
// taken from the encoder.
#include <gtest/gtest.h>

#include <numeric>

#include "acquisition/protocol/AccessoryProtocol.h"
#include "tools/sim/FrameEncoder.h"

namespace tarvo::sim {
namespace {

std::vector<uint8_t> slice(const Bytes& b, size_t at, size_t n) { return {b.begin() + at, b.begin() + at + n}; }

TEST(SimDiscover, LayoutPerGeneration) {
  struct Field {
    size_t at;
    std::vector<uint8_t> bytes;
  };
  struct Case {
    const char* name;
    int generation;
    size_t length;
    std::vector<Field> fields;
  };
  const Case cases[] = {
      {"first generation", 2, 68,
       {{0, {0xAA, 0x60, 0x02}},
        {8, {1, 1}},                       // spectrum and power capable
        {16, {0x40, 0x83, 0xD7, 0x0A}},    // attenuator step 1: 4.12 dB
        {44, {0x3E, 0x99, 0x99, 0x9A}},    // power slope 0.30
        {48, {0xC2, 0x9C, 0x00, 0x00}},    // power offset -78
        {60, {0x00, 0x01, 0xE2, 0xA7}},    // extra word
        {64, {8}}}},                       // floor code
      {"second generation", 6, 60,
       {{0, {0xAA, 0x60, 0x06}},
        {8, {1, 1}},
        {16, {0x54, 0x56, 0x32}},          // identity starts at 16
        {36, {0x3E, 0x80, 0x00, 0x00}},    // power slope 0.25
        {40, {0xC2, 0x82, 0x00, 0x00}},    // power offset -65 (host uses -70)
        {44, {0x3F, 0x00, 0x00, 0x00}},    // spectrum slope 0.5
        {48, {0xC2, 0xF0, 0x00, 0x00}},    // spectrum offset -120
        {56, {40}}}},
      {"dual-band", 7, 56,
       {{0, {0xAA, 0x60, 0x07}},
        {8, {1, 1, 1}},                    // scan, 2.4 GHz, 5 GHz
        {12, {0x30, 0x4B}},
        {24, {0x3F, 0x00, 0x00, 0x00, 0xC2, 0xF0, 0x00, 0x00}},
        {36, {40}},
        {40, {0x3F, 0x00, 0x00, 0x00, 0xC2, 0xEC, 0x00, 0x00}},  // 5 GHz offset -118
        {52, {36}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes d = encodeDiscover(defaultProfile(c.generation));
    ASSERT_EQ(d.size(), c.length);
    for (const Field& f : c.fields) EXPECT_EQ(slice(d, f.at, f.bytes.size()), f.bytes) << "offset " << f.at;
  }
}

TEST(SimCalibration, HostDecodesWhatTheSceneAskedFor) {
  // The first generation's host ignores the sent spectrum pair; the second subtracts 5 dB from
  // the power offset. An encoder that used the sent values would be off by several dB.
  const AccessoryProfile g1 = defaultProfile(2), g2 = defaultProfile(6);
  EXPECT_FLOAT_EQ(g1.hostSpectrum(0).slope, 45.0f / 124.0f);
  EXPECT_FLOAT_EQ(g1.hostSpectrum(0).offset, -100.0f);
  EXPECT_NE(g1.sentSpectrum[0].slope, g1.hostSpectrum(0).slope);
  EXPECT_FLOAT_EQ(g2.hostPower().offset, -70.0f);
  const struct {
    float dbm;
    SlopeOffset cal;
    int code;
  } rows[] = {
      {-100.0f, {45.0f / 124.0f, -100.0f}, 0},    {-60.0f, {0.5f, -120.0f}, 120},
      {-59.8f, {0.5f, -120.0f}, 120},              {-59.7f, {0.5f, -120.0f}, 121},
      {-130.0f, {0.5f, -120.0f}, 0},               {10.0f, {0.5f, -120.0f}, 255},
  };
  for (const auto& r : rows) EXPECT_EQ(amplitudeCode(r.dbm, r.cal), r.code) << r.dbm;
}

// Every frame the simulator makes has the length the shared framing rules give it, and is
// incomplete one byte short.
TEST(SimFrames, LengthsAgreeWithFramingRules) {
  for (int gen : {2, 6, 7}) {
    SCOPED_TRACE(gen);
    const AccessoryProfile p = defaultProfile(gen);
    std::vector<Bytes> frames = {encodeDiscover(p), encodeConfigureAck(9)};
    if (gen != 2) frames.push_back(encodeStopAck());
    for (int band : {0, 1})
      for (const Bytes& f : encodeSweep(p, band, std::vector<float>(600, -70.0f))) frames.push_back(f);
    for (const Bytes& f : encodeCapture(p, std::vector<float>(1000, -40.0f), true)) frames.push_back(f);
    if (gen != 2) {
      std::vector<ScanRecord> records(20);
      for (size_t i = 0; i < records.size(); ++i) records[i].channel = static_cast<uint8_t>(1 + i % 11);
      for (int n : {0, 1, 7, 20}) frames.push_back(encodeScanFrame({records.begin(), records.begin() + n}));
    }
    ASSERT_GE(frames.size(), 6u);
    for (const Bytes& f : frames) {
      SCOPED_TRACE(testing::Message() << "frame type " << (f[1] >> 5) << " size " << f.size());
      EXPECT_EQ(frameLengthFor(gen, f.data(), static_cast<int>(f.size())), static_cast<int>(f.size()));
      const int shortBy1 = frameLengthFor(gen, f.data(), static_cast<int>(f.size()) - 1);
      if ((f[1] >> 5) == 3) EXPECT_EQ(shortBy1, 3);  // a partial discover measures as an ack
      else if ((f[1] >> 5) == 6 || f.size() == 3) EXPECT_LT(shortBy1, 0);
      else EXPECT_EQ(shortBy1, -1);
    }
  }
  const Bytes empty = encodeEmptySweep();
  EXPECT_EQ(empty, (Bytes{0xAA, 0xA1, 0x00, 0x00}));
  EXPECT_EQ(frameLengthFor(7, empty.data(), 4), 4);
}

TEST(SimFrames, FirstGenerationInterleavesTwoSpectrumAndSixPowerSegments) {
  const AccessoryProfile p = defaultProfile(2);
  const SlopeOffset cal = p.hostSpectrum(0);
  std::vector<float> ramp(100);
  for (int i = 0; i < 100; ++i) ramp[i] = cal.dbm(10 + i);  // bin i has code 10 + i
  const auto sweep = encodeSweep(p, 0, ramp);
  ASSERT_EQ(sweep.size(), 2u);
  for (int s = 0; s < 2; ++s) {
    ASSERT_EQ(sweep[s].size(), 52u);
    EXPECT_EQ(sweep[s][1], 0xA0 | s);
    for (int k = 0; k < 50; ++k) ASSERT_EQ(sweep[s][2 + k], 10 + s + 2 * k) << "segment " << s << " value " << k;
  }

  const SlopeOffset pcal = p.hostPower();
  std::vector<float> trace(240);
  for (int i = 0; i < 240; ++i) trace[i] = pcal.dbm(i);
  const auto capture = encodeCapture(p, trace, true);
  ASSERT_EQ(capture.size(), 6u);
  for (int s = 0; s < 6; ++s) {
    EXPECT_EQ(capture[s][1], 0x30 | s);  // power, triggered, segment
    for (int k = 0; k < 40; ++k) ASSERT_EQ(capture[s][2 + k], s + 6 * k);
    for (int k = 42; k < 62; ++k) ASSERT_EQ(capture[s][k], 0);
  }
  EXPECT_EQ(encodeCapture(p, trace, false)[3][1], 0x23);
}

TEST(SimFrames, LaterGenerationsSendWholeSweepsAndTheBandByte) {
  const AccessoryProfile g2 = defaultProfile(6), dual = defaultProfile(7);
  const auto one = encodeSweep(g2, 0, std::vector<float>(256, -60.0f));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(slice(one[0], 0, 4), (std::vector<uint8_t>{0xAA, 0xA0, 0x00, 0x00}));
  EXPECT_EQ(one[0][4], 120);
  EXPECT_EQ(one[0][259], 120);
  EXPECT_TRUE(encodeSweep(g2, 1, std::vector<float>(512, -60.0f)).empty());

  const auto five = encodeSweep(dual, 1, std::vector<float>(512, -60.0f));
  ASSERT_EQ(five.size(), 1u);
  ASSERT_EQ(five[0].size(), 516u);
  EXPECT_EQ(five[0][2], 1);
  EXPECT_EQ(five[0][515], 116);  // (-60 + 118) / 0.5
  EXPECT_EQ(encodeSweep(dual, 0, {})[0][2], 0);

  const auto capture = encodeCapture(g2, std::vector<float>(1000, -70.0f + 0.25f * 77), false);
  ASSERT_EQ(capture.size(), 1u);
  ASSERT_EQ(capture[0].size(), 1254u);
  EXPECT_EQ(capture[0][1], 0x20);
  EXPECT_EQ(capture[0][4], 77);
  EXPECT_EQ(capture[0][1003], 77);
  EXPECT_EQ(capture[0][1004], 0);
  EXPECT_TRUE(encodeCapture(dual, std::vector<float>(1000, -40.0f), true).empty());
}

TEST(SimScan, RecordLayoutAndChecksum) {
  ScanRecord r;
  r.channel = 11;
  r.rssiDbm = -70;
  r.bssid = {0xE0, 0x91, 0xF5, 0x76, 0x83, 0x22};
  r.widthWord = widthWord(40, 2);
  r.ssid = "CafeGuest";
  r.phyMode = PHY_B | PHY_G | PHY_N;
  r.bandCode = 1;
  r.kindCode = 2;
  r.altA = 155;
  r.securityFlags = securityFlags(SECURITY_WPA2, 3);
  const auto b = encodeScanRecord(r);
  EXPECT_EQ(std::accumulate(b.begin(), b.end(), 0u) % 256, 0u);
  EXPECT_EQ(b[1], 11);
  EXPECT_EQ(b[2], 0xFF);
  EXPECT_EQ(b[3], 0xBA);  // -70 as big-endian int16
  EXPECT_EQ(b[4], 0xE0);
  EXPECT_EQ(b[9], 0x22);
  EXPECT_EQ(b[10], 0x0E);  // 40 MHz (0x0C00) | secondary below (0x0200)
  EXPECT_EQ(b[11], 0x00);
  EXPECT_EQ(b[12], 9);
  EXPECT_EQ(std::string(b.begin() + 13, b.begin() + 22), "CafeGuest");
  EXPECT_EQ(b[22], 0);
  EXPECT_EQ(b[45], 0x07);
  EXPECT_EQ(b[46], 1);
  EXPECT_EQ(b[47], 2);
  EXPECT_EQ(b[50], 155);
  EXPECT_EQ((std::vector<uint8_t>(b.begin() + 52, b.begin() + 56)), (std::vector<uint8_t>{0x00, 0x40, 0x00, 0x06}));

  // A 32-byte SSID fills the field exactly; a longer one is cut, never spilling into byte 45.
  r.ssid = std::string(40, 'x');
  const auto longName = encodeScanRecord(r);
  EXPECT_EQ(longName[12], 32);
  EXPECT_EQ(longName[44], 'x');
  EXPECT_EQ(longName[45], 0x07);
}

TEST(SimScan, SecurityFlagsPerKind) {
  const struct {
    int security, cipher;
    uint32_t flags;
  } rows[] = {
      {SECURITY_OPEN, 0, 0u},          {SECURITY_WPS, 0, 0x100000u}, {SECURITY_WEP, 0, 0x1u},
      {SECURITY_WPA, 1, 0x200002u},    {SECURITY_WPA, 3, 0x200006u}, {SECURITY_WPA2, 2, 0x400004u},
      {-1, -1, 0xFFFFFFFFu},
  };
  for (const auto& r : rows) EXPECT_EQ(securityFlags(r.security, r.cipher), r.flags) << r.security << "/" << r.cipher;
  EXPECT_EQ(widthWord(10, 0), 0x0400);
  EXPECT_EQ(widthWord(20, 0), 0x0800);
  EXPECT_EQ(widthWord(40, 1), 0x0D00);
}

TEST(SimScan, CycleFramesFollowTheTwentyRecordRule) {
  const struct {
    size_t records;
    std::vector<int> frameCounts;
  } rows[] = {{0, {0}}, {19, {19}}, {20, {20, 0}}, {27, {20, 7}}, {40, {20, 20}}, {45, {20, 20}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.records);
    const auto frames = encodeScanCycle(std::vector<ScanRecord>(row.records));
    ASSERT_EQ(frames.size(), row.frameCounts.size());
    for (size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(frames[i][2], row.frameCounts[i]);
      EXPECT_EQ(frames[i].size(), 4u + 64u * row.frameCounts[i]);
    }
  }
}

}  // namespace
}  // namespace tarvo::sim
