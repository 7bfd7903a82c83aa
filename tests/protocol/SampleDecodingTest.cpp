// Spectrum and power frames: amplitude codes to dBm, floors, and the segment, band and trigger
// outputs, plus the failures a damaged or misrouted frame must produce.

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

struct Outputs {
  float values[1024];
  int count = -7;
  int band = -7;
  int segment = -7;
  bool triggered = false;
};

int spectrum(AccessoryProtocol& d, const Frame& f, Outputs& o, int capacity = 1024) {
  return d.decodeSpectrum(f.data(), f.size(), o.values, capacity, &o.count, &o.band, &o.segment);
}
int power(AccessoryProtocol& d, const Frame& f, Outputs& o, int capacity = 1024) {
  return d.decodePower(f.data(), f.size(), o.values, capacity, &o.count, &o.segment, &o.triggered);
}

// First generation after discovery: 45/124 and -100 with floor code 20 (-92.74 dBm); power
// pair 0.5 / -60.
class FirstGeneration : public ::testing::Test {
 protected:
  void SetUp() override {
    Frame f(68, {0xAA, 0x60, 0x02});
    f.u8(8, 1).u8(9, 1);
    f.raw(44, {0x3F, 0x00, 0x00, 0x00}).raw(48, {0xC2, 0x70, 0x00, 0x00}).u8(64, 20);
    ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), nullptr), 0);
  }
  AccessoryProtocolTarvo decoder;
};

TEST_F(FirstGeneration, SpectrumSegmentOfFiftyBinsWithFloor) {
  Frame f(52, {0xAA, 0xA1});
  for (int i = 0; i < 50; ++i) f.u8(2 + i, static_cast<uint8_t>(5 * i));
  Outputs o;
  ASSERT_EQ(spectrum(decoder, f, o), 0);
  EXPECT_EQ(o.count, 50);
  EXPECT_EQ(o.band, 1);
  EXPECT_EQ(o.segment, 1);
  const float floorDbm = o.values[0];
  EXPECT_NEAR(floorDbm, -92.741935f, 1e-4);
  EXPECT_EQ(o.values[1], floorDbm);  // code 5 lies below the floor code 20
  EXPECT_EQ(o.values[3], floorDbm);  // code 15 too
  EXPECT_NEAR(o.values[4], 20 * 45.0 / 124.0 - 100.0, 1e-4);  // code 20 is the floor itself
  EXPECT_NEAR(o.values[49], 245 * 45.0 / 124.0 - 100.0, 1e-4);
}

TEST_F(FirstGeneration, PowerSegmentOfFortySamplesHasNoFloor) {
  Frame f(62, {0xAA, 0x35});  // triggered, segment 5
  for (int i = 0; i < 40; ++i) f.u8(2 + i, static_cast<uint8_t>(i));
  for (int i = 42; i < 62; ++i) f.u8(i, 0xFF);  // not samples
  Outputs o;
  ASSERT_EQ(power(decoder, f, o), 0);
  EXPECT_EQ(o.count, 40);
  EXPECT_EQ(o.segment, 5);
  EXPECT_TRUE(o.triggered);
  EXPECT_FLOAT_EQ(o.values[0], -60.0f);
  EXPECT_FLOAT_EQ(o.values[39], -40.5f);

  f.u8(1, 0x22);  // untriggered, segment 2
  ASSERT_EQ(power(decoder, f, o), 0);
  EXPECT_FALSE(o.triggered);
  EXPECT_EQ(o.segment, 2);
}

TEST(FirstGenerationBeforeDiscovery, UsesTheInitialCalibration) {
  AccessoryProtocolTarvo decoder;
  Frame s(52, {0xAA, 0xA0});
  s.u8(2, 10);
  Outputs o;
  ASSERT_EQ(spectrum(decoder, s, o), 0);
  EXPECT_FLOAT_EQ(o.values[0], 11.0f);  // 10 * 1.0 + 1.0
  Frame p(62, {0xAA, 0x20});
  p.u8(2, 10);
  ASSERT_EQ(power(decoder, p, o), 0);
  EXPECT_FLOAT_EQ(o.values[0], 10.0f);  // 10 * 1.0 + 0.0
}

TEST(SecondGeneration, SweepOfOneFrameAndTraceOfOneFrame) {
  AccessoryProtocolTarvo2 decoder;
  Frame d(60, {0xAA, 0x60, 0x06});
  d.u8(8, 1).u8(9, 1);
  d.raw(36, {0x3F, 0x00, 0x00, 0x00}).raw(40, {0xC2, 0x5C, 0x00, 0x00});  // power 0.5 / -55 (-60 used)
  d.raw(44, {0x3F, 0x00, 0x00, 0x00}).raw(48, {0xC2, 0xF0, 0x00, 0x00}).u8(56, 30);  // 0.5 / -120, floor 30
  ASSERT_EQ(decoder.decodeDiscover(d.data(), d.size(), nullptr), 0);

  Frame s(260, {0xAA, 0xA3, 0xFF, 0xFF});  // bytes 2 and 3 are not bins; the low bits are not a segment
  for (int i = 0; i < 256; ++i) s.u8(4 + i, static_cast<uint8_t>(i));
  Outputs o;
  ASSERT_EQ(spectrum(decoder, s, o), 0);
  EXPECT_EQ(o.count, 256);
  EXPECT_EQ(o.band, 1);
  EXPECT_EQ(o.segment, 0);
  EXPECT_FLOAT_EQ(o.values[0], -105.0f);  // floor
  EXPECT_FLOAT_EQ(o.values[30], -105.0f);
  EXPECT_FLOAT_EQ(o.values[31], -104.5f);
  EXPECT_FLOAT_EQ(o.values[255], 7.5f);

  Frame p(1254, {0xAA, 0x30, 0xFF, 0xFF});
  for (int i = 0; i < 1000; ++i) p.u8(4 + i, static_cast<uint8_t>(i % 256));
  for (int i = 1004; i < 1254; ++i) p.u8(i, 0xEE);
  ASSERT_EQ(power(decoder, p, o), 0);
  EXPECT_EQ(o.count, 1000);
  EXPECT_EQ(o.segment, 0);
  EXPECT_TRUE(o.triggered);
  EXPECT_FLOAT_EQ(o.values[0], -60.0f);
  EXPECT_FLOAT_EQ(o.values[999], (999 % 256) * 0.5f - 60.0f);
}

class DualBand : public ::testing::Test {
 protected:
  void SetUp() override {
    Frame f(56, {0xAA, 0x60, 0x07});
    f.u8(8, 1).u8(9, 1).u8(10, 1);
    f.raw(24, {0x3F, 0x00, 0x00, 0x00}).raw(28, {0xC2, 0xDC, 0x00, 0x00}).u8(36, 10);  // 0.5 / -110
    f.raw(40, {0x3E, 0x80, 0x00, 0x00}).raw(44, {0xC2, 0xC8, 0x00, 0x00}).u8(52, 40);  // 0.25 / -100
    ASSERT_EQ(decoder.decodeDiscover(f.data(), f.size(), nullptr), 0);
  }
  AccessoryProtocolTarvo25 decoder;
};

TEST_F(DualBand, BandByteSelectsSizeCalibrationAndBandNumber) {
  Frame b1(260, {0xAA, 0xA2, 0x00});
  b1.u8(4, 100).u8(259, 255);
  Outputs o;
  ASSERT_EQ(spectrum(decoder, b1, o), 0);
  EXPECT_EQ(o.count, 256);
  EXPECT_EQ(o.band, 1);
  EXPECT_EQ(o.segment, 2);
  EXPECT_FLOAT_EQ(o.values[0], -60.0f);
  EXPECT_FLOAT_EQ(o.values[1], -105.0f);  // code 0, floor code 10
  EXPECT_FLOAT_EQ(o.values[255], 17.5f);

  Frame b2(516, {0xAA, 0xA0, 0x01});
  b2.u8(4, 100).u8(515, 255);
  ASSERT_EQ(spectrum(decoder, b2, o), 0);
  EXPECT_EQ(o.count, 512);
  EXPECT_EQ(o.band, 2);
  EXPECT_FLOAT_EQ(o.values[0], -75.0f);
  EXPECT_FLOAT_EQ(o.values[1], -90.0f);  // code 0, floor code 40
  EXPECT_FLOAT_EQ(o.values[511], -36.25f);
}

TEST_F(DualBand, EmptySweepDecodesToZeroBins) {
  Frame f(4, {0xAA, 0xA1, 0x00, 0x00});
  EXPECT_EQ(decoder.frameLength(f.data(), f.size()), 4);
  Outputs o;
  EXPECT_EQ(spectrum(decoder, f, o), 0);
  EXPECT_EQ(o.count, 0);
}

TEST_F(DualBand, MalformedSweepsAreRejected) {
  Outputs o;
  Frame badBand(600, {0xAA, 0xA0, 0x02});
  EXPECT_EQ(spectrum(decoder, badBand, o), -99);
  Frame band2Short(260, {0xAA, 0xA0, 0x01});  // a 5 GHz sweep needs 516 bytes
  EXPECT_EQ(spectrum(decoder, band2Short, o), -2);
  EXPECT_EQ(o.count, 0);
  Frame band2(516, {0xAA, 0xA0, 0x01});
  EXPECT_EQ(spectrum(decoder, band2, o, 511), -2);  // capacity below 512 bins
  EXPECT_EQ(o.count, 0);
  Frame powerFrame(1254, {0xAA, 0x20});
  EXPECT_EQ(power(decoder, powerFrame, o), -99);
  EXPECT_EQ(o.count, 0);
}

// The failure order every sample decoder shares, for spectrum and power frames of each
// generation; count is reset (and segment set to 255 on the single-band decoders) first.
TEST(SampleDecoding, FailuresInOrder) {
  struct Kind {
    const char* what;
    int generation;
    bool isPower;
    int length;
    int bins;
    uint8_t byte1;
  };
  const Kind kinds[] = {
      {"gen 1 spectrum", 2, false, 52, 50, 0xA0},   {"gen 1 power", 2, true, 62, 40, 0x20},
      {"gen 2 spectrum", 6, false, 260, 256, 0xA0}, {"gen 2 power", 6, true, 1254, 1000, 0x20},
      {"dual spectrum", 7, false, 260, 256, 0xA0},
  };
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.what);
    auto decoder = createAccessoryProtocol(k.generation);
    Frame good(k.length, {0xAA, k.byte1, 0x00});
    Frame badSync = good;
    badSync.u8(0, 0x55);
    Frame wrongType = good;
    wrongType.u8(1, k.isPower ? 0xA0 : 0x20);
    std::vector<float> out(k.bins);
    auto run = [&](const Frame* f, int length, float* buffer, int capacity) {
      int count = -7, band = -7, segment = -7;
      bool triggered = false;
      const uint8_t* data = f ? f->data() : nullptr;
      const int r = k.isPower ? decoder->decodePower(data, length, buffer, capacity, &count, &segment, &triggered)
                              : decoder->decodeSpectrum(data, length, buffer, capacity, &count, &band, &segment);
      if (r != 0) {
        EXPECT_EQ(count, 0);
        if (k.generation != 7) {
          EXPECT_EQ(segment, 255);
        }
      } else {
        EXPECT_EQ(count, k.bins);
      }
      return r;
    };
    EXPECT_EQ(run(nullptr, k.length, out.data(), k.bins), -3);
    EXPECT_EQ(run(&good, 1, out.data(), k.bins), -2);
    EXPECT_EQ(run(&badSync, k.length, out.data(), k.bins), -1);
    EXPECT_EQ(run(&good, 2, out.data(), k.bins), -2);
    EXPECT_EQ(run(&wrongType, k.length, out.data(), k.bins), -4);
    EXPECT_EQ(run(&good, k.length - 1, out.data(), k.bins), -2);
    EXPECT_EQ(run(&good, k.length, nullptr, k.bins), -3);
    std::vector<float> untouched(k.bins, 123.0f);
    EXPECT_EQ(run(&good, k.length, untouched.data(), k.bins - 1), -2);
    EXPECT_EQ(untouched[0], 123.0f);  // nothing decoded
    EXPECT_EQ(run(&good, k.length, out.data(), k.bins), 0);
  }
}

TEST(SampleDecoding, NullOutputPointersAreAllowed) {
  AccessoryProtocolTarvo decoder;
  Frame f(52, {0xAA, 0xA0});
  float out[50];
  EXPECT_EQ(decoder.decodeSpectrum(f.data(), f.size(), out, 50, nullptr, nullptr, nullptr), 0);
  Frame p(62, {0xAA, 0x20});
  EXPECT_EQ(decoder.decodePower(p.data(), p.size(), out, 50, nullptr, nullptr, nullptr), 0);
}

}  // namespace
}  // namespace tarvo
