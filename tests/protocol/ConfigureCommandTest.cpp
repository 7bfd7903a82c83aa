// Configure commands of the three generations, byte for byte, built from the model's settings:
// time-base codes, attenuator step, trigger level codes, digital trigger bytes, sample counts
// and the sequence counter.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ProtocolTestFrames.h"
#include "acquisition/protocol/AccessoryProtocolTarvo.h"
#include "acquisition/protocol/AccessoryProtocolTarvo2.h"
#include "acquisition/protocol/AccessoryProtocolTarvo25.h"
#include "core/AnalyzerModel.h"

namespace tarvo {
namespace {

using test::Frame;
using Bytes = std::vector<uint8_t>;

uint32_t u32At(const Bytes& b, size_t offset) {
  return (uint32_t{b[offset]} << 24) | (uint32_t{b[offset + 1]} << 16) | (uint32_t{b[offset + 2]} << 8) | b[offset + 3];
}
uint16_t u16At(const Bytes& b, size_t offset) { return static_cast<uint16_t>((b[offset] << 8) | b[offset + 1]); }

// A decoder after discovery with power pair 0.5 / -60 dBm, and a model that holds the decoded
// record, is connected, and is in power mode at 1 ms/div with a 10 dB external attenuator.
class ConfigureFixture : public ::testing::Test {
 protected:
  void discover(AccessoryProtocol& decoder, const Frame& response) {
    DeviceInfo info;
    ASSERT_EQ(decoder.decodeDiscover(response.data(), response.size(), &info), 0);
    model.setDeviceInfo(info);
    model.setConnected(true);
    model.common.spectrumMode = 0;
    model.common.externalAttenuationDb = 10.0f;
    model.power.timebaseIndex = 9;
  }
  static Bytes build(AccessoryProtocol& decoder, const AnalyzerModel& m) {
    Bytes out(decoder.configureLength(), 0xCD);
    const int n = decoder.buildConfigure(out.data(), static_cast<int>(out.size()), &m);
    EXPECT_EQ(n, decoder.configureLength());
    return out;
  }
  AnalyzerModel model;
};

class FirstGenerationConfigure : public ConfigureFixture {
 protected:
  void SetUp() override {
    Frame f(68, {0xAA, 0x60, 0x02});
    f.u8(8, 1).u8(9, 1);
    for (int i = 0; i < 8; ++i) f.f32be(12 + 4 * i, 4.0f * i);  // 0, 4, ..., 28 dB
    f.raw(44, {0x3F, 0x00, 0x00, 0x00}).raw(48, {0xC2, 0x70, 0x00, 0x00});
    discover(decoder, f);
  }
  Bytes build() { return ConfigureFixture::build(decoder, model); }
  AccessoryProtocolTarvo decoder;
};

TEST_F(FirstGenerationConfigure, PowerTriggerByteForByte) {
  model.common.internalAttenuationIndex = 2;  // 8 dB: A = 18 dB
  model.power.triggerAuto = 0;
  model.power.triggerOnPower = 1;
  model.power.powerTriggerEdge = 1;
  model.power.triggerLevelDbm = -12.0f;  // (-12 - 18 + 60) / 0.5 = 60
  const Bytes expected = {0xAA, 0x20, 0x02, 0x53, 0x00, 0x3C, 0x09, 0x00, 0x00, 0x01, 0x00,
                          0x02, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                          0x01, 0x01, 0x00, 0x00, 0x00, 0x78, 0x00, 0x00, 0x00, 0x78};
  EXPECT_EQ(build(), expected);
}

TEST_F(FirstGenerationConfigure, DigitalTriggerByteForByte) {
  model.power.timebaseIndex = 15;  // 10 us/div
  model.power.triggerAuto = 1;
  model.power.triggerOnPower = 0;
  model.power.triggerLevelDbm = -12.0f;  // not sent with a digital trigger
  model.power.digitalLogic = 2;
  model.power.digitalLineA = 1;
  model.power.digitalLineB = 2;
  model.power.digitalEdgeA = 0;  // not sent
  model.power.digitalEdgeB = 1;
  const Bytes expected = {0xAA, 0x20, 0x02, 0x53, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x03, 0x01,
                          0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x21,
                          0x01, 0x01, 0x00, 0x00, 0x00, 0x78, 0x00, 0x00, 0x00, 0x78};
  EXPECT_EQ(build(), expected);
}

TEST_F(FirstGenerationConfigure, RollAndSpectrumModes) {
  model.common.internalAttenuationIndex = 3;
  model.power.timebaseIndex = 3;  // roll, the slowest roll code
  model.power.triggerLevelDbm = -12.0f;
  const Bytes roll = {0xAA, 0x20, 0x02, 0x53, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x02,
                      0x03, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(build(), roll);

  model.common.spectrumMode = 1;
  model.power.timebaseIndex = 15;
  const Bytes spectrum = {0xAA, 0x20, 0x02, 0x53, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x00,
                          0x03, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                          0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(build(), spectrum);
}

TEST_F(FirstGenerationConfigure, TimebaseCodes) {
  const std::pair<int, uint8_t> cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 5}, {4, 4}, {15, 15}, {17, 17}, {-5, 0}, {40, 17}};
  for (auto [index, code] : cases) {
    model.power.timebaseIndex = index;
    const Bytes b = build();
    EXPECT_EQ(b[6], code) << "index " << index;
    EXPECT_EQ(b[10] == 2, index <= 3) << "index " << index;  // roll mode byte
  }
}

TEST_F(FirstGenerationConfigure, AttenuatorStepSevenIsSentAsZero) {
  const std::pair<int, uint8_t> cases[] = {{-1, 0}, {0, 0}, {1, 1}, {4, 4}, {6, 6}, {7, 0}, {8, 0}};
  for (auto [step, sent] : cases) {
    model.common.internalAttenuationIndex = step;
    EXPECT_EQ(build()[11], sent) << "step " << step;
  }
}

TEST_F(FirstGenerationConfigure, CountsAtTenMicrosecondsPerDivision) {
  // span 0.0001 s, 2 400 000 samples/s: the trigger point at the centre, 120 samples in.
  model.power.timebaseIndex = 15;
  const Bytes b = build();
  EXPECT_EQ(u32At(b, 24), 120u);
  EXPECT_EQ(u32At(b, 28), 120u);
}

TEST_F(FirstGenerationConfigure, SequenceCounterWrapsAndSkipsFailedBuilds) {
  for (int i = 1; i <= 300; ++i) EXPECT_EQ(build()[22], static_cast<uint8_t>(i)) << "build " << i;
  uint8_t small[31];
  EXPECT_EQ(decoder.buildConfigure(small, 31, &model), -1);
  EXPECT_EQ(decoder.buildConfigure(nullptr, 32, &model), -1);
  uint8_t out[32];
  EXPECT_EQ(decoder.buildConfigure(out, 32, nullptr), -1);
  EXPECT_EQ(build()[22], static_cast<uint8_t>(301));
}

// Trigger parameters of the first and second generations: the same rules at different offsets.
struct Layout {
  const char* name;
  int levelAt, edgeAt, modeAt, logicAt, linesAt, holdoffAt, preAt;
  int samplesPerScreen;
};
constexpr Layout GEN1{"first generation", 4, 9, 10, 20, 21, 24, 28, 240};
constexpr Layout GEN2{"second generation", 6, 8, 9, 10, 11, 12, 16, 1000};

class TriggerParameters : public ConfigureFixture, public ::testing::WithParamInterface<Layout> {
 protected:
  void SetUp() override {
    if (GetParam().samplesPerScreen == 240) {
      decoder = std::make_unique<AccessoryProtocolTarvo>();
      Frame f(68, {0xAA, 0x60, 0x02});
      f.u8(8, 1).u8(9, 1).raw(44, {0x3F, 0x00, 0x00, 0x00}).raw(48, {0xC2, 0x70, 0x00, 0x00});
      discover(*decoder, f);
    } else {
      decoder = std::make_unique<AccessoryProtocolTarvo2>();
      Frame f(60, {0xAA, 0x60, 0x06});
      // Offset -55 sent, -60 used.
      f.u8(8, 1).u8(9, 1).raw(36, {0x3F, 0x00, 0x00, 0x00}).raw(40, {0xC2, 0x5C, 0x00, 0x00});
      discover(*decoder, f);
    }
    model.common.internalAttenuationIndex = 0;  // 0 dB on the first generation: A = 10 dB
    model.power.triggerAuto = 0;
  }
  Bytes build() { return ConfigureFixture::build(*decoder, model); }
  std::unique_ptr<AccessoryProtocol> decoder;
};

TEST_P(TriggerParameters, LevelCodes) {
  const Layout& l = GetParam();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    float levelDbm;
    bool rising;
    bool connected;
    uint16_t code;
  };
  const Case cases[] = {
      {"-20 dBm rising", -20.0f, true, true, 60},   // (-20 - 10 + 60) / 0.5
      {"-20 dBm falling", -20.0f, false, true, 60},  // already whole
      {"-20.3 dBm rising", -20.3f, true, true, 59},  // 59.4 rounded down
      {"-20.3 dBm falling", -20.3f, false, true, 60},
      {"far below", -200.0f, true, true, 0},
      {"far above", 200.0f, false, true, 255},
      {"NaN level", nan, true, true, 0},
      {"NaN level falling", nan, false, true, 0},
      {"not connected: no attenuation", -20.0f, true, false, 80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(l.name) + ": " + c.what);
    model.setConnected(c.connected);
    model.power.triggerLevelDbm = c.levelDbm;
    model.power.powerTriggerEdge = c.rising ? 1 : 0;
    const Bytes b = build();
    EXPECT_EQ(u16At(b, l.levelAt), c.code);
    EXPECT_EQ(b[l.edgeAt], c.rising ? 1 : 0);
    EXPECT_EQ(b[l.logicAt], 0);
    EXPECT_EQ(b[l.linesAt], 0);
  }
}

TEST_P(TriggerParameters, NanAttenuationGivesCodeZero) {
  model.common.externalAttenuationDb = std::numeric_limits<float>::quiet_NaN();
  model.power.triggerLevelDbm = -20.0f;
  EXPECT_EQ(u16At(build(), GetParam().levelAt), 0);
}

TEST_P(TriggerParameters, DigitalTrigger) {
  const Layout& l = GetParam();
  model.power.triggerOnPower = 0;
  model.power.triggerLevelDbm = -20.0f;
  const struct {
    uint8_t logic, lineA, lineB, edgeA, edgeB;
    uint8_t logicByte, linesByte, edgeByte;
  } cases[] = {
      {0, 0, 1, 1, 0, 1, 0x10, 0}, {1, 3, 2, 0, 1, 2, 0x23, 3}, {3, 0x1F, 3, 1, 1, 4, 0x3F, 3},
      {9, 1, 1, 0, 0, 0, 0x11, 0},  // logic out of range (damaged settings): no condition armed
  };
  for (const auto& c : cases) {
    model.power.digitalLogic = c.logic;
    model.power.digitalLineA = c.lineA;
    model.power.digitalLineB = c.lineB;
    model.power.digitalEdgeA = c.edgeA;
    model.power.digitalEdgeB = c.edgeB;
    const Bytes b = build();
    SCOPED_TRACE(std::string(l.name) + ", logic " + std::to_string(c.logic));
    EXPECT_EQ(u16At(b, l.levelAt), 0);
    EXPECT_EQ(b[l.logicAt], c.logicByte);
    EXPECT_EQ(b[l.linesAt], c.linesByte);
    EXPECT_EQ(b[l.edgeAt], c.edgeByte);
  }
}

TEST_P(TriggerParameters, AutoFlag) {
  const Layout& l = GetParam();
  model.power.triggerAuto = 1;
  EXPECT_EQ(build()[l.modeAt], 1);
  model.power.triggerAuto = 0;
  EXPECT_EQ(build()[l.modeAt], 0);
}

TEST_P(TriggerParameters, SampleCounts) {
  const Layout& l = GetParam();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // At 1 ms/div the screen spans 10 ms; n = samples per screen, centre = n / 2.
  const int n = l.samplesPerScreen;
  const uint32_t centre = n / 2;
  struct Case {
    const char* what;
    float delay, holdoff;
    uint32_t pre, holdoffSent;
  };
  const Case cases[] = {
      {"no delay, no hold-off", 0.0f, 0.0f, centre, centre},
      {"hold-off 2 ms, below the pre-trigger count", 0.0f, 0.002f, centre, centre},
      {"hold-off 10 ms", 0.0f, 0.010f, centre, centre},                              // H' = n - n/2
      {"hold-off 20 ms", 0.0f, 0.020f, centre, static_cast<uint32_t>(2 * n - centre)},  // H' = 2n - n/2
      {"delay 2 ms", 0.002f, 0.0f, static_cast<uint32_t>(centre + n / 5), static_cast<uint32_t>(centre + n / 5)},
      {"trigger at the left edge", -0.005f, 0.0f, 0, 1},
      {"delay before the screen", -1.0f, 0.0f, 0, 1},
      {"NaN delay", nan, 0.0f, 0, 1},
      {"NaN hold-off", 0.0f, nan, centre, centre},
      {"negative hold-off", 0.0f, -1.0f, centre, centre},
      // Beyond the 32-bit range the counts stop at 4294967295 (not 0).
      {"huge delay", 1.0e9f, 0.0f, 4294967295u, 4294967295u},
      {"infinite delay", inf, 0.0f, 4294967295u, 4294967295u},
      {"huge hold-off", 0.0f, 1.0e9f, centre, 4294967295u - centre},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(l.name) + ": " + c.what);
    model.power.triggerDelay = c.delay;
    model.power.triggerHoldoff = c.holdoff;
    const Bytes b = build();
    EXPECT_EQ(u32At(b, l.preAt), c.pre);
    EXPECT_EQ(u32At(b, l.holdoffAt), c.holdoffSent);
  }
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, TriggerParameters, ::testing::Values(GEN1, GEN2),
                         [](const auto& info) { return info.param.samplesPerScreen == 240 ? "First" : "Second"; });

class SecondGenerationConfigure : public ConfigureFixture {
 protected:
  void SetUp() override {
    Frame f(60, {0xAA, 0x60, 0x06});
    f.u8(8, 1).u8(9, 1).raw(36, {0x3F, 0x00, 0x00, 0x00}).raw(40, {0xC2, 0x5C, 0x00, 0x00});
    discover(decoder, f);
  }
  Bytes build() { return ConfigureFixture::build(decoder, model); }
  AccessoryProtocolTarvo2 decoder;
};

TEST_F(SecondGenerationConfigure, PowerTriggerByteForByte) {
  model.power.timebaseIndex = 15;  // code 2; 1000 samples over 0.1 ms: centre 500
  model.power.triggerAuto = 1;
  model.power.triggerOnPower = 1;
  model.power.powerTriggerEdge = 0;
  model.power.triggerLevelDbm = -20.0f;
  const Bytes expected = {0xAA, 0x14, 0x02, 0x53, 0x01, 0x02, 0x00, 0x3C, 0x00, 0x01,
                          0x00, 0x00, 0x00, 0x00, 0x01, 0xF4, 0x00, 0x00, 0x01, 0xF4};
  EXPECT_EQ(build(), expected);
}

TEST_F(SecondGenerationConfigure, RollAndSpectrumModes) {
  model.power.timebaseIndex = 2;
  model.power.triggerLevelDbm = -20.0f;
  const Bytes roll = {0xAA, 0x14, 0x02, 0x53, 0x01, 0x0D, 0x00, 0x00, 0x00, 0x02,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(build(), roll);

  model.common.spectrumMode = 1;
  model.power.timebaseIndex = 15;
  Bytes spectrum(20, 0);
  spectrum[0] = 0xAA, spectrum[1] = 0x14, spectrum[2] = 0x02, spectrum[3] = 0x53, spectrum[4] = 0x02,
  spectrum[5] = 0x02;
  EXPECT_EQ(build(), spectrum);
}

TEST_F(SecondGenerationConfigure, TimebaseCodes) {
  const std::pair<int, uint8_t> cases[] = {{0, 13}, {3, 13}, {4, 13}, {5, 12}, {15, 2}, {17, 0}, {40, 0}, {-5, 13}};
  for (auto [index, code] : cases) {
    model.power.timebaseIndex = index;
    EXPECT_EQ(build()[5], code) << "index " << index;
  }
}

TEST_F(SecondGenerationConfigure, RefusesShortBuffersAndMissingModel) {
  uint8_t out[20];
  EXPECT_EQ(decoder.buildConfigure(out, 19, &model), -1);
  EXPECT_EQ(decoder.buildConfigure(nullptr, 20, &model), -1);
  EXPECT_EQ(decoder.buildConfigure(out, 20, nullptr), -1);
  EXPECT_EQ(build()[4], 1);  // the failures did not use a sequence number
}

TEST(DualBandConfigure, SelectsTheBand) {
  AccessoryProtocolTarvo25 decoder;
  AnalyzerModel model;
  uint8_t out[8];
  model.spectrum.band = 1;
  ASSERT_EQ(decoder.buildConfigure(out, 8, &model), 8);
  EXPECT_EQ(Bytes(out, out + 8), (Bytes{0xAA, 0x08, 0x02, 0x53, 0x01, 0x01, 0x00, 0x00}));
  model.spectrum.band = 0;
  ASSERT_EQ(decoder.buildConfigure(out, 8, &model), 8);
  EXPECT_EQ(Bytes(out, out + 8), (Bytes{0xAA, 0x08, 0x02, 0x53, 0x02, 0x00, 0x00, 0x00}));
  model.spectrum.band = 5;  // a damaged setting is band 0
  ASSERT_EQ(decoder.buildConfigure(out, 8, &model), 8);
  EXPECT_EQ(out[5], 0);
  EXPECT_EQ(decoder.buildConfigure(out, 7, &model), -1);
  EXPECT_EQ(decoder.buildConfigure(out, 8, nullptr), -1);
  EXPECT_EQ(decoder.buildConfigure(nullptr, 8, &model), -1);
  ASSERT_EQ(decoder.buildConfigure(out, 8, &model), 8);
  EXPECT_EQ(out[4], 4);
}

}  // namespace
}  // namespace tarvo
