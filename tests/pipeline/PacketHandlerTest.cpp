// Packet handler: reassembly, dispatch by frame type, sweep and trace assembly, the stores it
// fills and the faults it must survive.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "ModelSnapshot.h"
#include "PipelineHarness.h"
#include "engine/services/FileUtils.h"

namespace tarvo {
namespace {

using namespace tarvo::testing;

std::vector<uint8_t> randomCodes(std::mt19937& rng, int n) {
  std::uniform_int_distribution<int> code(0, 255);
  std::vector<uint8_t> out(n);
  for (auto& c : out) c = static_cast<uint8_t>(code(rng));
  return out;
}

// A stream that exercises every frame kind of a generation, with junk in between: bytes that
// are not a frame start, an unknown frame type, frames of a kind the generation lacks.
Bytes mixedStream(int generation, unsigned seed) {
  std::mt19937 rng(seed);
  DiscoverSpec spec;
  spec.generation = generation;
  spec.floorCode = 20;
  spec.floorCode2 = 35;
  Bytes s = concat({{0x00, 0x13, 0xAA, 0x05, 0xAA, 0x20, 0x01}, discoverFrame(spec), ackFrame()});
  auto add = [&](const Bytes& b) { s.insert(s.end(), b.begin(), b.end()); };
  for (int round = 0; round < 12; ++round) {
    switch (generation) {
      case 2:
        add(spectrumFrame(2, 0, 0, randomCodes(rng, 50)));
        add(spectrumFrame(2, 0, 1, randomCodes(rng, 50)));
        if (round % 3 == 0) add(spectrumFrame(2, 0, 1, randomCodes(rng, 50)));  // out of order
        for (int seg = 0; seg < 6; ++seg) add(powerFrame(2, seg, round % 2 == 0, randomCodes(rng, 40)));
        add({0xAA, 0xE0, 0x01, 0x00});  // a scan frame this generation never completes
        break;
      case 6:
        add(spectrumFrame(6, 0, 0, randomCodes(rng, 256)));
        add(powerFrame(6, 0, round % 3 == 0, randomCodes(rng, 1000)));
        if (round % 4 == 0) add(scanFrame(scanRecords(20, round)));
        if (round % 4 == 1) add(scanFrame(scanRecords(5, round * 7)));
        if (round % 4 == 2) add(scanFrame({}));
        add(stopAckFrame());
        break;
      default:
        add(spectrumFrame(7, 0, 0, randomCodes(rng, 256)));
        add(spectrumFrame(7, 1, 0, randomCodes(rng, 512)));
        if (round % 3 == 0) add(scanFrame(scanRecords(20, round)));
        if (round % 3 == 1) add(scanFrame(scanRecords(3, 100 + round)));
        add(stopAckFrame());
        break;
    }
    add({0x55, 0xAA, 0x80, 0x00});  // junk, then an unknown frame type
  }
  return s;
}

struct ChunkingCase {
  const char* name;
  int generation;
  int timebaseIndex;  // < 4: roll mode
};

class ChunkingIndependence : public ::testing::TestWithParam<ChunkingCase> {};

TEST_P(ChunkingIndependence, SameModelWhateverTheChunks) {
  const ChunkingCase& c = GetParam();
  const Bytes stream = mixedStream(c.generation, 1234);
  auto prepared = [&] {
    auto h = std::make_unique<PipelineHarness>();
    h->model.power.timebaseIndex = c.timebaseIndex;
    return h;
  };

  auto whole = prepared();
  whole->feed(stream);
  const ModelSnapshot expected = ModelSnapshot::of(whole->delegate);
  EXPECT_EQ(expected.generation, c.generation);
  EXPECT_GT(expected.history[0].size(), 0u);
  if (c.generation != 7) {
    EXPECT_TRUE(!expected.powerTraces.empty() || !expected.rollSamples.empty());
  } else {
    EXPECT_GT(expected.history[1].size(), 0u);
  }
  if (c.generation != 2) {
    EXPECT_FALSE(expected.accessPoints.empty());
  }
  EXPECT_EQ(whole->delegate.bufferedBytes(), 0u);

  auto bytes = prepared();
  bytes->feedByteByByte(stream);
  EXPECT_TRUE(ModelSnapshot::of(bytes->delegate) == expected) << "byte by byte";

  for (unsigned seed : {1u, 2u, 3u}) {
    auto chunks = prepared();
    chunks->feedRandomChunks(stream, seed);
    EXPECT_TRUE(ModelSnapshot::of(chunks->delegate) == expected) << "random chunks, seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Generations, ChunkingIndependence,
                         ::testing::Values(ChunkingCase{"first_triggered", 2, 15}, ChunkingCase{"first_roll", 2, 2},
                                           ChunkingCase{"second_triggered", 6, 15},
                                           ChunkingCase{"second_roll", 6, 1}, ChunkingCase{"dual_band", 7, 15}),
                         [](const auto& info) { return std::string(info.param.name); });

// The same over the built-in demo recordings of each hardware row: realistic spectra, captures
// and scan frames back to back.
Bytes recordedStream(int hardware) {
  const std::string prefix = generationRow(hardware).demoPacketPrefix;
  Bytes s;
  for (const char* suffix : {"discover.bin", "settings.bin", "spectrumWifi.bin", "spectrum5GHzWifi.bin",
                             "powerWifi.bin", "ssid.bin", "spectrumDect.bin"}) {
    const std::string path = std::string(TARVO_BINARY_DIR) + "/res/" + prefix + suffix;
    std::vector<uint8_t> bytes;
    eng::readWholeFile(path, bytes);
    s.insert(s.end(), bytes.begin(), bytes.end());
  }
  return s;
}

TEST(ChunkingIndependenceRecorded, SameModelWhateverTheChunks) {
  for (int hardware = 0; hardware < GENERATION_ROW_COUNT; ++hardware) {
    SCOPED_TRACE(::testing::Message() << "hardware " << hardware);
    const Bytes stream = recordedStream(hardware);
    if (stream.size() < 1000) GTEST_SKIP() << "the demo recordings were not built";
    PipelineHarness whole;
    whole.feed(stream);
    const ModelSnapshot expected = ModelSnapshot::of(whole.delegate);
    EXPECT_EQ(expected.generation, generationRow(hardware).code);
    EXPECT_GT(expected.history[0].size(), 0u);
    PipelineHarness bytes;
    bytes.feedByteByByte(stream);
    EXPECT_TRUE(ModelSnapshot::of(bytes.delegate) == expected) << "byte by byte";
    PipelineHarness chunks;
    chunks.feedRandomChunks(stream, 7, 2048);
    EXPECT_TRUE(ModelSnapshot::of(chunks.delegate) == expected) << "random chunks";
  }
}

// ---------------------------------------------------------------------------------------------

class PacketHandler : public ::testing::Test {
 protected:
  void discover(int generation, uint8_t floorCode = 0) {
    DiscoverSpec spec;
    spec.generation = generation;
    spec.floorCode = floorCode;
    h.feed(discoverFrame(spec));
    ASSERT_TRUE(h.delegate.linkState().discovered);
  }
  const SpectrumStore& band(int b) { return h.model.spectrumStore(b); }

  PipelineHarness h;
};

TEST_F(PacketHandler, BeforeDiscoveryOnlyADiscoverResponseIsTaken) {
  // A power frame before discovery is skipped byte by byte; then the response is found.
  Bytes power = powerFrame(6, 0, true, std::vector<uint8_t>(1000, 0x11));
  h.feed(concat({power, discoverFrame({}), powerFrame(6, 0, true, {})}));
  EXPECT_TRUE(h.delegate.linkState().discovered);
  EXPECT_EQ(h.state(), STATE_DISCOVERED);
  EXPECT_EQ(h.model.deviceInfo()->generationCode, 6);
  EXPECT_EQ(h.model.powerTraces().size(), 1u);  // only the frame after the response
}

TEST_F(PacketHandler, UnknownGenerationDropsEverythingPending) {
  DiscoverSpec unknown;
  Bytes bogus = discoverFrame(unknown);
  bogus[2] = 9;
  h.feed(concat({bogus, discoverFrame({})}));
  EXPECT_FALSE(h.delegate.linkState().discovered);
  EXPECT_EQ(h.delegate.bufferedBytes(), 0u);
  h.feed(discoverFrame({}));
  EXPECT_TRUE(h.delegate.linkState().discovered);
}

TEST_F(PacketHandler, DiscoverResponseOnlyWhileWaitingForIt) {
  h.delegate.linkState().state = STATE_START_DISCOVERY;
  h.feed(discoverFrame({}));
  EXPECT_FALSE(h.delegate.linkState().discovered);
  EXPECT_EQ(h.state(), STATE_START_DISCOVERY);
}

TEST_F(PacketHandler, DiscoveryFixesTimebaseAndLeavesModesTheAccessoryLacks) {
  h.model.power.timebaseIndex = -5;
  h.model.power.powerScaleIndex = -1;
  h.model.common.spectrumMode = 0;
  DiscoverSpec dual;
  dual.generation = 7;
  h.feed(discoverFrame(dual));
  EXPECT_EQ(h.model.common.spectrumMode, 1) << "the dual-band accessory has no power mode";
  EXPECT_TRUE(h.model.runtime.modeChangedByDevice);
  EXPECT_EQ(h.model.power.timebaseIndex, -5) << "no time base table on the dual-band accessory";

  PipelineHarness second;
  second.model.power.timebaseIndex = -5;
  second.model.power.powerScaleIndex = -1;
  DiscoverSpec noSpectrum;
  noSpectrum.spectrum = false;
  second.feed(discoverFrame(noSpectrum));
  EXPECT_EQ(second.model.common.spectrumMode, 0);
  EXPECT_TRUE(second.model.runtime.modeChangedByDevice);
  EXPECT_EQ(second.model.power.timebaseIndex, 14);
  EXPECT_EQ(second.model.power.powerScaleIndex, 0);
}

TEST_F(PacketHandler, FirstGenerationScanFrameDoesNotHoldTheBuffer) {
  discover(2);
  std::mt19937 rng(5);
  const auto a = randomCodes(rng, 50), b = randomCodes(rng, 50);
  h.feed(concat({{0xAA, 0xE0, 0x03, 0x00, 0x01}, spectrumFrame(2, 0, 0, a), spectrumFrame(2, 0, 1, b)}));
  EXPECT_EQ(band(0).sweepHistory.size(), 1);
  EXPECT_EQ(h.delegate.bufferedBytes(), 0u);
}

TEST_F(PacketHandler, FirstGenerationSweepInterleavesAndRestartsOnSegmentZero) {
  discover(2);
  std::vector<uint8_t> even(50), odd(50), stale(50, 200);
  for (int i = 0; i < 50; ++i) {
    even[i] = static_cast<uint8_t>(2 * i + 10);
    odd[i] = static_cast<uint8_t>(2 * i + 11);
  }
  // Segment 1 first: the 0 that follows empties the accumulator, so only the next 1 completes.
  h.feed(spectrumFrame(2, 0, 1, stale));
  h.feed(spectrumFrame(2, 0, 0, even));
  EXPECT_EQ(band(0).sweepHistory.size(), 0);
  h.feed(spectrumFrame(2, 0, 1, odd));
  ASSERT_EQ(band(0).sweepHistory.size(), 1);
  EXPECT_EQ(band(0).lastSweepBins, 100);
  const float* row = band(0).sweepHistory.rowByAge(0);
  const float slope = 45.0f / 124.0f;
  for (int bin = 0; bin < 100; ++bin) EXPECT_FLOAT_EQ(row[bin], (bin + 10) * slope - 100.0f) << bin;
  // A repeated segment 1 without its 0 does not make a sweep out of old segments.
  h.feed(spectrumFrame(2, 0, 1, odd));
  EXPECT_EQ(band(0).sweepHistory.size(), 1);
}

TEST_F(PacketHandler, AcknowledgementDropsHalfAssembledSweeps) {
  discover(2);
  h.feed(spectrumFrame(2, 0, 0, {}));
  h.feed(ackFrame());
  EXPECT_EQ(h.state(), STATE_ACKNOWLEDGED);
  h.feed(spectrumFrame(2, 0, 1, {}));
  EXPECT_EQ(band(0).sweepHistory.size(), 0);
}

TEST_F(PacketHandler, HistoryAtDepthStaysAtDepth) {
  discover(6);
  const int depth = band(0).historyDepth;
  ASSERT_EQ(depth, 510);
  for (int i = 0; i < depth + 5; ++i) h.feed(spectrumFrame(6, 0, 0, std::vector<uint8_t>(256, i % 250)));
  EXPECT_EQ(band(0).sweepHistory.size(), depth);
  const float slope = 0.5f, offset = -120.0f;
  EXPECT_FLOAT_EQ(band(0).sweepHistory.rowByAge(0)[0], ((depth + 4) % 250) * slope + offset);
  EXPECT_FLOAT_EQ(band(0).sweepHistory.row(0)[0], 5 * slope + offset) << "the five oldest left";
  h.feed(spectrumFrame(6, 0, 0, {}));
  EXPECT_EQ(band(0).sweepHistory.size(), depth);
}

TEST_F(PacketHandler, SweepsOutsideRunOrSingleShotAreSkipped) {
  discover(7);
  h.model.runtime.acquisitionPause = ACQ_STOPPED;
  h.feed(spectrumFrame(7, 0, 0, {}));
  h.model.runtime.acquisitionPause = 42;  // whatever a corrupt value
  h.feed(spectrumFrame(7, 1, 0, {}));
  EXPECT_EQ(band(0).sweepHistory.size() + band(1).sweepHistory.size(), 0);
  h.model.runtime.acquisitionPause = ACQ_RUN;
  h.feed(spectrumFrame(7, 1, 0, {}));
  EXPECT_EQ(band(1).sweepHistory.size(), 1);
  EXPECT_EQ(band(1).lastSweepBins, 512);
}

TEST_F(PacketHandler, SingleShotSweepStopsAfterOneSweep) {
  discover(6);
  h.model.runtime.acquisitionPause = ACQ_SINGLE_ARMED;
  h.feed(concat({spectrumFrame(6, 0, 0, {}), spectrumFrame(6, 0, 0, {})}));
  EXPECT_EQ(band(0).sweepHistory.size(), 1);
  EXPECT_EQ(h.model.runtime.acquisitionPause, ACQ_SINGLE_CAPTURED);
  EXPECT_EQ(h.state(), STATE_STOP);
}

TEST_F(PacketHandler, SingleShotRollEndsAtTwoThousandSamples) {
  h.model.power.timebaseIndex = 3;  // 0.1 s/div: roll, every third sample kept
  discover(6);
  h.model.runtime.acquisitionPause = ACQ_SINGLE_ARMED;
  for (int frame = 0; frame < 5; ++frame) h.feed(powerFrame(6, 0, false, {}));
  EXPECT_EQ(h.model.rollSamples().size(), 1667u);  // 5000 samples, one in three kept
  EXPECT_EQ(h.model.runtime.acquisitionPause, ACQ_SINGLE_ARMED);
  h.feed(powerFrame(6, 0, false, {}));
  EXPECT_EQ(h.model.rollSamples().size(), 2000u);
  EXPECT_EQ(h.model.runtime.acquisitionPause, ACQ_SINGLE_CAPTURED);
  EXPECT_EQ(h.state(), STATE_STOP);
}

struct RollCase {
  int generation;
  int timebaseIndex;
  size_t keptFromFirstFrame;  // one kept, then `d` skipped: ceil(samples / (d + 1))
};

TEST_F(PacketHandler, RollModeDecimation) {
  const RollCase cases[] = {
      {6, 0, 39},   // d = 25
      {6, 1, 91},   // d = 10
      {6, 2, 167},  // d = 5
      {6, 3, 334},  // d = 2
      {2, 0, 2},    // d = 25 over 40 samples
      {2, 2, 7},    // d = 5
      {2, 3, 8},    // d = 2, doubled at the last roll index of the first generation
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "generation " << c.generation << " index " << c.timebaseIndex);
    PipelineHarness p;
    p.model.power.timebaseIndex = c.timebaseIndex;
    DiscoverSpec spec;
    spec.generation = c.generation;
    p.feed(discoverFrame(spec));
    ASSERT_TRUE(p.model.isRollMode());
    p.feed(powerFrame(c.generation, 0, false, {}));
    EXPECT_EQ(p.model.rollSamples().size(), c.keptFromFirstFrame);
    EXPECT_TRUE(p.model.powerTraces().empty());
  }
}

TEST_F(PacketHandler, TriggerStatusAndNormalTriggerMode) {
  discover(6);
  h.model.power.triggerAuto = 0;
  h.feed(powerFrame(6, 0, true, {}));
  EXPECT_EQ(h.model.runtime.triggerStatus, 0);
  EXPECT_EQ(h.model.powerTraces().size(), 1u);
  h.clock.advanceMs(1999);
  h.feed(powerFrame(6, 0, false, {}));
  EXPECT_EQ(h.model.runtime.triggerStatus, 0);
  EXPECT_EQ(h.model.powerTraces().size(), 1u) << "an untriggered capture in NORMAL mode is not stored";
  h.clock.advanceMs(1);
  h.feed(powerFrame(6, 0, false, {}));
  EXPECT_EQ(h.model.runtime.triggerStatus, 2);
  h.clock.advanceMs(8000);
  h.feed(powerFrame(6, 0, false, {}));
  EXPECT_EQ(h.model.runtime.triggerStatus, 1);
}

TEST_F(PacketHandler, UnprunedCapturesAreCapped) {
  discover(6);
  for (int i = 0; i < POWER_TRACES_MAX + 3; ++i) h.feed(powerFrame(6, 0, true, std::vector<uint8_t>(1000, i % 200)));
  ASSERT_EQ(h.model.powerTraces().size(), static_cast<size_t>(POWER_TRACES_MAX));
  EXPECT_FLOAT_EQ(h.model.powerTraces().front()[0], 3 * 0.25f - 65.0f) << "the oldest three left";
}

TEST_F(PacketHandler, FirstGenerationTraceOfSixSegments) {
  discover(2);
  h.model.runtime.frozenPowerView.active = true;
  for (int seg = 0; seg < 6; ++seg) h.feed(powerFrame(2, seg, true, std::vector<uint8_t>(40, 10 * seg)));
  ASSERT_EQ(h.model.powerTraces().size(), 1u);
  const auto& trace = h.model.powerTraces().front();
  ASSERT_EQ(trace.size(), 240u);
  for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(trace[i], 10 * (i % 6) * 0.25f - 60.0f) << i;
  EXPECT_FALSE(h.model.runtime.frozenPowerView.active);
}

// Dual-band scans: the accessory does not pace them, so the end of a cycle sends the
// controller back to sweeping.
class ScanCycle : public PacketHandler {
 protected:
  void SetUp() override {
    discover(7);
    h.delegate.linkState().state = STATE_STREAMING;
  }
};

TEST_F(ScanCycle, FullFirstFrameKeepsTheCycleOpen) {
  h.feed(scanFrame(scanRecords(20)));
  EXPECT_EQ(h.delegate.linkState().scanFrames, 1u);
  EXPECT_EQ(h.state(), STATE_STREAMING);
  EXPECT_EQ(h.model.accessPoints.size(), 20u);
  EXPECT_EQ(h.model.runtime.scanCount, 1u);
  // The second frame closes it, whatever its size.
  h.feed(scanFrame(scanRecords(20, 20)));
  EXPECT_EQ(h.delegate.linkState().scanFrames, 0u);
  EXPECT_EQ(h.state(), STATE_STOP);
  EXPECT_TRUE(h.delegate.linkState().reconfigure);
  EXPECT_FALSE(h.delegate.linkState().scanDue);
  EXPECT_EQ(h.model.accessPoints.size(), 40u);
}

TEST_F(ScanCycle, ShortFrameEndsTheCycle) {
  h.clock.setMs(5000);
  h.feed(scanFrame(scanRecords(3)));
  EXPECT_EQ(h.delegate.linkState().scanStartMs, 5000);
  EXPECT_EQ(h.delegate.linkState().scanFrames, 0u);
  EXPECT_EQ(h.state(), STATE_STOP);
}

TEST_F(ScanCycle, EmptyResultWhileStreaming) {
  h.feed(scanFrame({}));
  EXPECT_EQ(h.state(), STATE_STREAMING_AFTER_EMPTY_SCAN);
  EXPECT_EQ(h.delegate.linkState().scanFrames, 0u);
  EXPECT_TRUE(h.model.accessPoints.empty());
}

TEST_F(ScanCycle, AlwaysScanningStaysInTheCycle) {
  h.model.spectrum.ssidRefreshSeconds = 0.0f;
  h.feed(scanFrame(scanRecords(3)));
  EXPECT_EQ(h.state(), STATE_STREAMING);
}

TEST_F(ScanCycle, FrozenListDropsScans) {
  h.model.runtime.apListFrozen = true;
  h.feed(scanFrame(scanRecords(3)));
  EXPECT_TRUE(h.model.accessPoints.empty());
  EXPECT_EQ(h.model.runtime.scanCount, 0u);
}

TEST_F(PacketHandler, StopAcknowledgementOnlyWhileStopping) {
  discover(6);
  h.delegate.linkState().state = STATE_STREAMING;
  h.feed(stopAckFrame());
  EXPECT_EQ(h.state(), STATE_STREAMING);
  h.delegate.linkState().state = STATE_AWAIT_STOP_ACK;
  h.feed(stopAckFrame());
  EXPECT_EQ(h.state(), STATE_STOPPED);
}

TEST_F(PacketHandler, SplitStopAcknowledgementIsNotLost) {
  discover(6);
  h.delegate.linkState().state = STATE_AWAIT_STOP_ACK;
  const Bytes ack = stopAckFrame();
  h.feed({ack[0], ack[1], ack[2]});
  h.feed({ack[3]});
  EXPECT_EQ(h.state(), STATE_STOPPED);
}

TEST_F(PacketHandler, ModelPublishesSweepFlags) {
  discover(6);
  {
    ModelLock lock(h.model, LOCK_SPECTRUM);
    h.model.band24.newSweep = false;
    h.model.band24.heatMapChanged = false;
  }
  h.feed(spectrumFrame(6, 0, 0, {}));
  EXPECT_TRUE(band(0).newSweep);
  EXPECT_TRUE(band(0).heatMapChanged);
  EXPECT_TRUE(band(0).heatMapDirty);
  EXPECT_EQ(band(0).heatMapBins, 256);
  EXPECT_EQ(band(0).heatMapLevels, 256);
}

// What the handler hands the data log: the shown bins of each sweep, whole traces, and in
// roll mode only the newly kept samples.
struct RecordingLog : DataLogSink {
  std::vector<std::string> calls;
  void sweepStored(int band, const float*, int count, int64_t) override {
    calls.push_back("sweep " + std::to_string(band) + " " + std::to_string(count));
  }
  void powerTraceStored(const float*, int count, int64_t) override {
    calls.push_back("trace " + std::to_string(count));
  }
  void rollSamplesStored(const float*, int count, int64_t) override {
    calls.push_back("roll " + std::to_string(count));
  }
  void configureAcknowledged() override { calls.push_back("acknowledged"); }
  void stopLog() override { calls.push_back("stop"); }
};

TEST_F(PacketHandler, DataLogGetsWhatWasStored) {
  RecordingLog log;
  h.delegate.setDataLogSink(&log);
  discover(7);
  h.feed(concat({spectrumFrame(7, 0, 0, {}), spectrumFrame(7, 1, 0, {})}));
  PipelineHarness second;
  second.delegate.setDataLogSink(&log);
  second.model.power.timebaseIndex = 3;
  second.feed(discoverFrame({}));
  second.feed(concat({powerFrame(6, 0, false, {}), spectrumFrame(6, 0, 0, {})}));
  second.model.power.timebaseIndex = 15;
  second.feed(powerFrame(6, 0, true, {}));
  const std::vector<std::string> expected = {"sweep 0 245", "sweep 1 512", "roll 334", "sweep 0 245",
                                             "trace 1000"};
  EXPECT_EQ(log.calls, expected);
}

TEST_F(PacketHandler, DataLogFollowsAcknowledgementsAndRemoval) {
  RecordingLog log;
  h.delegate.setDataLogSink(&log);
  h.bringUp(DiscoverSpec{});
  h.model.runtime.dataLogState = DATALOG_LOGGING;
  h.delegate.deviceRemoved(&h.link, &h.device, 0);
  const std::vector<std::string> expected = {"acknowledged", "stop"};
  EXPECT_EQ(log.calls, expected);
  EXPECT_EQ(h.model.runtime.dataLogState, DATALOG_IDLE);
  h.delegate.setDataLogSink(nullptr);
}

// Whatever the device sends, nothing is read or written outside the stores.
TEST_F(PacketHandler, MutatedStreamsStayInBounds) {
  for (int generation : {2, 6, 7}) {
    const Bytes clean = mixedStream(generation, 99);
    for (unsigned seed = 0; seed < 20; ++seed) {
      SCOPED_TRACE(::testing::Message() << "generation " << generation << " seed " << seed);
      std::mt19937 rng(seed);
      Bytes bytes = clean;
      std::uniform_int_distribution<size_t> at(0, bytes.size() - 1);
      std::uniform_int_distribution<int> value(0, 255);
      for (int i = 0; i < 200; ++i) bytes[at(rng)] = static_cast<uint8_t>(value(rng));
      PipelineHarness p;
      p.model.power.timebaseIndex = seed % 2 ? 2 : 15;
      p.feedRandomChunks(bytes, seed, 300);
      ModelLock lock(p.model, LOCK_ALL);
      for (int b = 0; b < 2; ++b) {
        const SpectrumStore& s = p.model.spectrumStore(b);
        EXPECT_LE(s.sweepHistory.size(), s.historyDepth);
        EXPECT_EQ(s.heatMap.size(), static_cast<size_t>(s.heatMapBins) * s.heatMapLevels);
        EXPECT_LE(s.lastSweepBins, s.rowBins);
      }
      EXPECT_LE(p.model.rollSamples().size(), static_cast<size_t>(ROLL_SAMPLES_MAX));
    }
  }
}

}  // namespace
}  // namespace tarvo
