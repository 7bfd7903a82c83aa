// The small operations of the three decoders: capability and packet-count queries, request
// builders and their lengths, acknowledgement checks, framing through the decoder, segment
// reordering, and decoding while another thread builds commands.

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <thread>

#include "ProtocolTestFrames.h"
#include "acquisition/protocol/AccessoryProtocolFactory.h"
#include "acquisition/protocol/AccessoryProtocolTarvo.h"
#include "acquisition/protocol/AccessoryProtocolTarvo2.h"
#include "acquisition/protocol/AccessoryProtocolTarvo25.h"
#include "core/AnalyzerModel.h"

namespace tarvo {
namespace {

using test::Frame;
using Bytes = std::vector<uint8_t>;

struct Profile {
  int generation;
  bool repeats;
  bool canScanBeforeDiscovery;
  int packetsPerSweep, packetsPerTrace, configureLength;
  int powerRequest, scanRequest, stopRequest;  // lengths; 0 = unsupported
};
const Profile PROFILES[] = {
    {2, true, false, 2, 6, 32, 3, 0, 0},
    {6, false, true, 1, 1, 20, 3, 3, 3},
    {7, false, true, 1, 1, 8, 0, 3, 3},
};

TEST(DecoderOperations, QueriesAndLengths) {
  for (const auto& p : PROFILES) {
    SCOPED_TRACE(p.generation);
    auto d = createAccessoryProtocol(p.generation);
    d->prepare();
    EXPECT_EQ(d->repeatsRequests(), p.repeats);
    EXPECT_EQ(d->canScan(), p.canScanBeforeDiscovery);
    EXPECT_FALSE(d->canSweep());
    EXPECT_FALSE(d->canCapturePower());
    EXPECT_EQ(d->packetsPerSweep(1), p.packetsPerSweep);
    EXPECT_EQ(d->packetsPerSweep(2), p.packetsPerSweep);
    EXPECT_EQ(d->packetsPerTrace(), p.packetsPerTrace);
    EXPECT_EQ(d->reservedQuery9(), 0);
    EXPECT_EQ(d->reservedQuery10(), 0);
    EXPECT_EQ(d->configureLength(), p.configureLength);
    EXPECT_EQ(d->powerRequestLength(), p.powerRequest);
    EXPECT_EQ(d->sweepRequestLength(), 3);
    EXPECT_EQ(d->scanRequestLength(), p.scanRequest);
    EXPECT_EQ(d->stopRequestLength(), p.stopRequest);
  }
}

TEST(DecoderOperations, RequestBuilders) {
  for (const auto& p : PROFILES) {
    SCOPED_TRACE(p.generation);
    auto d = createAccessoryProtocol(p.generation);
    struct Builder {
      int (AccessoryProtocol::*build)(uint8_t*, int) const;
      int supportedLength;
      uint8_t code;
    };
    const Builder builders[] = {
        {&AccessoryProtocol::buildPowerRequest, p.powerRequest, 0x01},
        {&AccessoryProtocol::buildSweepRequest, 3, 0x05},
        {&AccessoryProtocol::buildScanRequest, p.scanRequest, 0x07},
        {&AccessoryProtocol::buildStopRequest, p.stopRequest, 0x06},
    };
    for (const auto& b : builders) {
      uint8_t out[3] = {0, 0, 0};
      const int n = ((*d).*b.build)(out, 3);
      if (b.supportedLength == 0) {
        EXPECT_EQ(n, -1) << int(b.code);
        continue;
      }
      EXPECT_EQ(n, 3);
      EXPECT_EQ(Bytes(out, out + 3), (Bytes{0xAA, 0x03, b.code}));
      EXPECT_EQ(((*d).*b.build)(out, 2), -1);
      EXPECT_EQ(((*d).*b.build)(nullptr, 3), -1);
    }
  }
}

TEST(DecoderOperations, Acknowledgements) {
  const Bytes ack = {0xAA, 0x40, 0x00};
  const Bytes stopAck = {0xAA, 0xC0, 0x00, 0x00};
  for (const auto& p : PROFILES) {
    SCOPED_TRACE(p.generation);
    auto d = createAccessoryProtocol(p.generation);
    EXPECT_EQ(d->isAck(ack.data(), 3), 0);
    EXPECT_EQ(d->isAck(ack.data(), 2), -2);
    EXPECT_EQ(d->isAck(nullptr, 3), -3);
    EXPECT_EQ(d->isAck(stopAck.data(), 4), -4);
    if (p.generation == 2) {
      EXPECT_EQ(d->isStopAck(stopAck.data(), 4), -99);
      continue;
    }
    EXPECT_EQ(d->isStopAck(stopAck.data(), 4), 0);
    EXPECT_EQ(d->isStopAck(stopAck.data(), 3), -2);
    EXPECT_EQ(d->isStopAck(stopAck.data(), 1), -2);
    EXPECT_EQ(d->isStopAck(nullptr, 4), -3);
    EXPECT_EQ(d->isStopAck(ack.data(), 3), -4);
    const Bytes badSync = {0xAB, 0xC0, 0x00, 0x00};
    EXPECT_EQ(d->isStopAck(badSync.data(), 4), -1);
  }
}

TEST(DecoderOperations, FrameLengthThroughEachDecoder) {
  const Bytes discoverHeader = {0xAA, 0x60, 0x02};
  for (const auto& p : PROFILES) {
    auto d = createAccessoryProtocol(p.generation);
    EXPECT_EQ(d->frameLength(discoverHeader.data(), 3), 3) << p.generation;
  }
  AccessoryProtocolTarvo25 dual;
  const Bytes emptySweep = {0xAA, 0xA1, 0x00, 0x00};
  EXPECT_EQ(dual.frameLength(emptySweep.data(), 4), 4);
  Frame badBand(600, {0xAA, 0xA0, 0x02});
  EXPECT_EQ(dual.frameLength(badBand.data(), badBand.size()), -99);
  AccessoryProtocolTarvo2 gen2;
  EXPECT_EQ(gen2.frameLength(badBand.data(), badBand.size()), 260);  // byte 2 means nothing here
  AccessoryProtocolTarvo gen1;
  EXPECT_EQ(gen1.frameLength(badBand.data(), badBand.size()), 52);
}

TEST(DecoderOperations, ReorderSegmentsBySchemeOfTheGeneration) {
  std::vector<float> v(100);
  std::iota(v.begin(), v.end(), 0.0f);
  const uint8_t order[] = {1, 0};

  auto interleaved = v;
  ASSERT_TRUE(AccessoryProtocolTarvo().reorderSegments(interleaved.data(), 100, order, 2));
  EXPECT_EQ(interleaved[1], 0.0f);  // first-arrived segment into the odd bins
  EXPECT_EQ(interleaved[0], 50.0f);

  for (int generation : {6, 7}) {
    auto d = createAccessoryProtocol(generation);
    auto blocks = v;
    ASSERT_TRUE(d->reorderSegments(blocks.data(), 100, order, 2));
    EXPECT_EQ(blocks[0], 50.0f);  // the second-arrived block first
    EXPECT_EQ(blocks[50], 0.0f);
    const uint8_t one[] = {0};
    auto same = v;
    EXPECT_TRUE(d->reorderSegments(same.data(), 100, one, 1));
    EXPECT_EQ(same, v);
  }
}

// The packet handler decodes on the link thread while the controller builds commands on its
// own; the calibration a discover response writes is read by both.
TEST(DecoderOperations, DecodingWhileAnotherThreadConfigures) {
  AccessoryProtocolTarvo2 decoder;
  AnalyzerModel model;
  model.common.spectrumMode = 0;
  Frame discover(60, {0xAA, 0x60, 0x06});
  discover.u8(8, 1).u8(9, 1).raw(36, {0x3F, 0x00, 0x00, 0x00}).raw(40, {0xC2, 0x5C, 0x00, 0x00});
  Frame sweep(260, {0xAA, 0xA0});
  std::atomic<bool> done{false};
  std::thread link([&] {
    std::vector<float> out(256);
    int count = 0, band = 0, segment = 0;
    for (int i = 0; i < 2000; ++i) {
      decoder.decodeDiscover(discover.data(), discover.size(), nullptr);
      decoder.decodeSpectrum(sweep.data(), sweep.size(), out.data(), 256, &count, &band, &segment);
    }
    done = true;
  });
  int built = 0;
  uint8_t out[20];
  while (!done || built < 2000) {
    if (decoder.buildConfigure(out, 20, &model) == 20) ++built;
    (void)decoder.canCapturePower();
  }
  link.join();
  EXPECT_EQ(out[4], static_cast<uint8_t>(built));
}

}  // namespace
}  // namespace tarvo
