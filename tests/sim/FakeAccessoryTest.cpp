// The fake accessory as a test partner: the conversation per generation, its pace, its trigger,
// and the faults it can inject. Configure commands are put together here from the byte layouts.
#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <thread>

#include "acquisition/protocol/AccessoryProtocol.h"
#include "tools/sim/FakeAccessory.h"

namespace tarvo::sim {
namespace {

const Bytes DISCOVER{0xAA, 0x03, 0x03};
const Bytes SWEEP{0xAA, 0x03, 0x05};
const Bytes POWER{0xAA, 0x03, 0x01};
const Bytes SCAN{0xAA, 0x03, 0x07};
const Bytes STOP{0xAA, 0x03, 0x06};

void put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// First generation, 32 bytes. mode: 0 NORMAL, 1 AUTO, 2 roll.
Bytes gen1Configure(uint8_t seq, bool power, int timebaseByte, int mode, int level, bool rising, uint32_t hold,
                    uint32_t pre) {
  Bytes b(32, 0);
  b[0] = 0xAA, b[1] = 0x20, b[2] = 0x02, b[3] = 0x53;
  b[4] = static_cast<uint8_t>(level >> 8), b[5] = static_cast<uint8_t>(level);
  b[6] = static_cast<uint8_t>(timebaseByte);
  b[9] = rising ? 1 : 0;
  b[10] = static_cast<uint8_t>(mode);
  b[14] = 255;
  b[22] = seq;
  b[23] = power ? 1 : 0;
  put32(b, 24, hold);
  put32(b, 28, pre);
  return b;
}

// Second generation, 20 bytes.
Bytes gen2Configure(uint8_t seq, int timebaseIndex, int mode, int level, bool rising, uint32_t hold, uint32_t pre,
                    int digitalLogic = 0) {
  Bytes b(20, 0);
  b[0] = 0xAA, b[1] = 0x14, b[2] = 0x02, b[3] = 0x53;
  b[4] = seq;
  b[5] = static_cast<uint8_t>(17 - timebaseIndex);
  b[6] = static_cast<uint8_t>(level >> 8), b[7] = static_cast<uint8_t>(level);
  b[8] = rising ? 1 : 0;
  b[9] = static_cast<uint8_t>(mode);
  b[10] = static_cast<uint8_t>(digitalLogic);
  put32(b, 12, hold);
  put32(b, 16, pre);
  return b;
}

Bytes dualConfigure(uint8_t seq, int band) { return {0xAA, 0x08, 0x02, 0x53, seq, static_cast<uint8_t>(band), 0, 0}; }

// Splits a stream of frames with the shared framing rules; fails the test on garbage.
std::vector<Bytes> frames(int gen, const Bytes& stream) {
  std::vector<Bytes> out;
  size_t at = 0;
  while (at < stream.size()) {
    const int n = frameLengthFor(gen, stream.data() + at, static_cast<int>(stream.size() - at));
    EXPECT_GT(n, 0) << "at offset " << at;
    if (n <= 0) break;
    out.emplace_back(stream.begin() + at, stream.begin() + at + n);
    at += n;
  }
  return out;
}

int typeOf(const Bytes& f) { return f[1] >> 5; }

Bytes send(FakeAccessory& fake, const Bytes& command, int64_t now) {
  return fake.handleCommand(command.data(), command.size(), now);
}

TEST(FakeAccessory, AnswersDiscoverConfigureAndStopPerGeneration) {
  struct Case {
    int gen;
    Bytes configure;
    bool stopAcked;
  };
  const Case cases[] = {
      {2, gen1Configure(7, false, 15, 1, 0, true, 1, 120), false},
      {6, gen2Configure(7, 15, 1, 0, true, 1, 500), true},
      {7, dualConfigure(7, 0), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gen);
    FakeAccessory fake(static_cast<GenerationCode>(c.gen));
    const Bytes d = send(fake, DISCOVER, 0);
    EXPECT_EQ(d, encodeDiscover(fake.profile()));
    EXPECT_EQ(d[2], c.gen);
    EXPECT_EQ(send(fake, c.configure, 10), (Bytes{0xAA, 0x40, 7}));
    EXPECT_TRUE(fake.configuration().received);
    EXPECT_EQ(send(fake, STOP, 20), c.stopAcked ? encodeStopAck() : Bytes{});
    EXPECT_EQ(fake.commands().size(), 3u);
  }
}

TEST(FakeAccessory, ReassemblesSplitCommandsAndSkipsGarbage) {
  FakeAccessory fake(GENERATION_TARVO2);
  const Bytes configure = gen2Configure(3, 15, 1, 100, true, 1, 500);
  Bytes stream{0x00, 0xAA, 0x01, 0x55};  // noise, then a sync with an impossible length
  stream.insert(stream.end(), DISCOVER.begin(), DISCOVER.end());
  stream.insert(stream.end(), configure.begin(), configure.begin() + 9);
  const Bytes first = fake.handleCommand(stream.data(), stream.size(), 0);
  EXPECT_EQ(first, encodeDiscover(fake.profile()));
  const Bytes second = fake.handleCommand(configure.data() + 9, configure.size() - 9, 0);
  EXPECT_EQ(second, (Bytes{0xAA, 0x40, 3}));
  EXPECT_EQ(fake.configuration().levelCode, 100);
  EXPECT_EQ(fake.configuration().timebaseIndex, 15);
  EXPECT_EQ(fake.configuration().preTriggerCount, 500u);
}

TEST(FakeAccessory, IgnoresAConfigureOfTheWrongLength) {
  FakeAccessory fake(GENERATION_TARVO25);
  const Bytes gen2Sized = gen2Configure(1, 15, 1, 0, true, 1, 500);  // 20 bytes to an 8-byte device
  EXPECT_TRUE(send(fake, gen2Sized, 0).empty());
  EXPECT_FALSE(fake.configuration().received);
  EXPECT_EQ(send(fake, dualConfigure(2, 1), 0), (Bytes{0xAA, 0x40, 2}));
  EXPECT_EQ(fake.configuration().band, 1);
}

TEST(FakeAccessory, LaterGenerationsStreamSweepsUntilStopped) {
  FakeAccessory fake(GENERATION_TARVO2);
  send(fake, DISCOVER, 0);
  send(fake, gen2Configure(1, 15, 1, 0, true, 1, 500), 0);
  send(fake, SWEEP, 1000);
  EXPECT_TRUE(fake.pendingFrames(1199).empty());
  const auto got = frames(6, fake.pendingFrames(2000));  // sweeps due at 1200, 1400, ... 2000
  ASSERT_EQ(got.size(), 5u);
  for (const Bytes& f : got) {
    EXPECT_EQ(typeOf(f), 5);
    EXPECT_EQ(f.size(), 260u);
  }
  EXPECT_EQ(send(fake, STOP, 2100), encodeStopAck());
  EXPECT_TRUE(fake.pendingFrames(5000).empty());
  EXPECT_EQ(fake.sweepsSent(), 5);
}

TEST(FakeAccessory, FirstGenerationSendsOneSweepPerRequest) {
  FakeAccessory fake(GENERATION_TARVO);
  send(fake, DISCOVER, 0);
  send(fake, gen1Configure(1, false, 15, 1, 0, true, 1, 120), 0);
  send(fake, SWEEP, 0);
  const auto one = frames(2, fake.pendingFrames(1000));
  ASSERT_EQ(one.size(), 2u);  // both segments of one sweep
  EXPECT_EQ(one[0][1], 0xA0);
  EXPECT_EQ(one[1][1], 0xA1);
  EXPECT_TRUE(fake.pendingFrames(5000).empty());  // no new request, no new sweep
  // Requests every 100 ms, as the controller repeats them: one sweep each.
  for (int t = 5000; t < 6000; t += 100) {
    send(fake, SWEEP, t);
    fake.pendingFrames(t + 100);
  }
  EXPECT_EQ(fake.sweepsSent(), 11);
  // Five requests at once bank only two sweeps.
  for (int i = 0; i < 5; ++i) send(fake, SWEEP, 7000);
  EXPECT_EQ(frames(2, fake.pendingFrames(9000)).size(), 4u);
}

TEST(FakeAccessory, DualBandSweepsTheConfiguredBandAtItsPace) {
  FakeAccessory fake(GENERATION_TARVO25);
  send(fake, DISCOVER, 0);
  send(fake, dualConfigure(1, 1), 0);
  send(fake, SWEEP, 0);
  const auto five = frames(7, fake.pendingFrames(5000));  // every 1.25 s
  ASSERT_EQ(five.size(), 4u);
  for (const Bytes& f : five) {
    EXPECT_EQ(f.size(), 516u);
    EXPECT_EQ(f[2], 1);
  }
  send(fake, STOP, 5000);
  send(fake, dualConfigure(2, 0), 5000);
  send(fake, SWEEP, 5000);
  const auto two = frames(7, fake.pendingFrames(6000));  // every 0.25 s
  ASSERT_EQ(two.size(), 4u);
  EXPECT_EQ(two[0].size(), 260u);
  EXPECT_EQ(two[0][2], 0);
}

TEST(FakeAccessory, DualBandScanRequestGivesOneCycle) {
  FakeAccessoryOptions o;
  o.generation = GENERATION_TARVO25;
  o.scanDurationMs = 1500;
  FakeAccessory fake(o);
  send(fake, DISCOVER, 0);
  send(fake, dualConfigure(1, 0), 0);
  send(fake, SCAN, 100);
  EXPECT_TRUE(fake.pendingFrames(1599).empty());
  const auto cycle = frames(7, fake.pendingFrames(1600));
  ASSERT_FALSE(cycle.empty());
  ASSERT_LE(cycle.size(), 2u);
  if (cycle.size() == 2) {
    EXPECT_EQ(cycle[0][2], 20);
  }
  size_t records = 0;
  for (const Bytes& f : cycle) {
    EXPECT_EQ(typeOf(f), 7);
    records += f[2];
    for (size_t j = 0; j < f[2]; ++j)
      EXPECT_EQ(std::accumulate(f.begin() + 4 + 64 * j, f.begin() + 4 + 64 * (j + 1), 0u) % 256, 0u);
  }
  EXPECT_GE(records, 15u);
  EXPECT_TRUE(fake.pendingFrames(60000).empty());  // one cycle per request
  EXPECT_FALSE(fake.scanning());
}

TEST(FakeAccessory, SecondGenerationPacesScansItself) {
  FakeAccessoryOptions o;
  o.generation = GENERATION_TARVO2;
  o.scanFirstDelayMs = 2000;
  o.scanIntervalMs = 10000;
  FakeAccessory fake(o);
  send(fake, DISCOVER, 0);
  send(fake, gen2Configure(1, 15, 1, 0, true, 1, 500), 0);
  send(fake, SCAN, 0);
  send(fake, SWEEP, 0);
  Bytes all;
  for (int t = 1000; t <= 22000; t += 1000) {
    const Bytes b = fake.pendingFrames(t);
    all.insert(all.end(), b.begin(), b.end());
  }
  const auto got = frames(6, all);
  int scans = 0, sweeps = 0;
  for (const Bytes& f : got) (typeOf(f) == 7 ? scans : sweeps) += 1;
  EXPECT_EQ(scans, 3);  // at 2 s, 12 s and 22 s
  EXPECT_EQ(sweeps, 110);
}

TEST(FakeAccessory, CorruptsEveryNthRecordWhenAsked) {
  FakeAccessoryOptions o;
  o.generation = GENERATION_TARVO2;
  o.corruptEveryNthRecord = 3;
  o.scanFirstDelayMs = 0;
  FakeAccessory fake(o);
  send(fake, SCAN, 0);
  const auto got = frames(6, fake.pendingFrames(0));
  ASSERT_EQ(got.size(), 1u);
  const Bytes& f = got[0];
  for (size_t j = 0; j < f[2]; ++j) {
    const unsigned sum = std::accumulate(f.begin() + 4 + 64 * j, f.begin() + 4 + 64 * (j + 1), 0u) % 256;
    EXPECT_EQ(sum, (j + 1) % 3 == 0 ? 1u : 0u) << j;
  }
}

TEST(FakeAccessory, TriggeredCapturesCarryTheFlagAtTheConfiguredEdge) {
  FakeAccessoryOptions o;
  o.generation = GENERATION_TARVO2;
  o.scene = SceneKind::Dect;
  FakeAccessory fake(o);
  // 10 us/div, level code 134 (-36.5 dBm), rising, 852 samples after the trigger (edge at 148).
  send(fake, gen2Configure(1, 15, 1, 134, true, 10000, 852), 0);
  send(fake, POWER, 0);
  const auto got = frames(6, fake.pendingFrames(2000));
  ASSERT_EQ(got.size(), 20u);  // every 0.1 s
  int triggered = 0;
  for (const Bytes& f : got) {
    ASSERT_EQ(f.size(), 1254u);
    if (!(f[1] & 0x10)) continue;
    ++triggered;
    EXPECT_LT(f[4 + 147], 134);
    EXPECT_GE(f[4 + 148], 134);
  }
  EXPECT_GT(triggered, 14);
}

TEST(FakeAccessory, UnreachableLevelGivesFreeRunningInAutoAndNothingInNormal) {
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode == 1 ? "AUTO" : "NORMAL");
    FakeAccessoryOptions o;
    o.generation = GENERATION_TARVO2;
    o.scene = SceneKind::Wifi;
    FakeAccessory fake(o);
    send(fake, gen2Configure(1, 15, mode, 250, true, 1, 500), 0);  // -7.5 dBm: above every pulse
    send(fake, POWER, 0);
    const auto got = frames(6, fake.pendingFrames(1000));
    EXPECT_EQ(got.size(), mode == 1 ? 10u : 0u);
    for (const Bytes& f : got) EXPECT_EQ(f[1] & 0x10, 0);
  }
}

TEST(FakeAccessory, FirstGenerationCaptureIsSixSegmentsWithOneFlag) {
  FakeAccessoryOptions o;
  o.generation = GENERATION_TARVO;
  o.scene = SceneKind::Dss;
  FakeAccessory fake(o);
  // 4 us/div, level code 154 (-31.8 dBm), 216 samples after the trigger (edge at sample 24).
  send(fake, gen1Configure(1, true, 16, 1, 154, true, 240, 216), 0);
  for (int t = 0; t < 1000; t += 100) send(fake, POWER, t);
  const auto got = frames(2, fake.pendingFrames(2000));
  ASSERT_EQ(got.size() % 6, 0u);
  ASSERT_GE(got.size(), 12u);
  for (size_t c = 0; c < got.size(); c += 6) {
    for (int s = 0; s < 6; ++s) {
      EXPECT_EQ(got[c + s][1] & 0x0F, s);
      EXPECT_EQ(got[c + s][1] & 0x10, got[c][1] & 0x10);
    }
    if (!(got[c][1] & 0x10)) continue;
    // Sample 24 is value 4 of segment 0; sample 23 is value 3 of segment 5.
    EXPECT_GE(got[c][2 + 4], 154);
    EXPECT_LT(got[c + 5][2 + 3], 154);
  }
}

TEST(FakeAccessory, RollModeStreamsContiguousFramesInRealTime) {
  FakeAccessoryOptions o;
  o.generation = GENERATION_TARVO2;
  o.scene = SceneKind::Dect;
  FakeAccessory fake(o);
  send(fake, gen2Configure(1, 4, 2, 0, false, 1, 1), 0);  // roll: mode 2, code 13
  EXPECT_TRUE(fake.configuration().roll);
  send(fake, POWER, 0);
  const auto got = frames(6, fake.pendingFrames(4000));
  EXPECT_EQ(got.size(), 10u);  // a 1000-sample frame every 0.4 s
  for (const Bytes& f : got) EXPECT_EQ(f[1] & 0x10, 0);

  // First generation: frames of 40 samples every 66.7 ms while the host keeps asking.
  FakeAccessoryOptions o1 = o;
  o1.generation = GENERATION_TARVO;
  FakeAccessory gen1(o1);
  send(gen1, gen1Configure(1, true, 2, 2, 0, false, 1, 0), 0);
  Bytes all;
  for (int t = 0; t <= 1000; t += 100) {
    send(gen1, POWER, t);
    const Bytes b = gen1.pendingFrames(t);
    all.insert(all.end(), b.begin(), b.end());
  }
  EXPECT_EQ(frames(2, all).size(), 16u);  // 0, 66.7, ... 1000 ms
  EXPECT_TRUE(frames(2, gen1.pendingFrames(3000)).size() <= 8u);  // stops 0.5 s after the last request
  EXPECT_TRUE(gen1.pendingFrames(10000).empty());
}

TEST(FakeAccessory, MutedAnswersAndClockJumps) {
  FakeAccessoryOptions o;
  o.generation = GENERATION_TARVO2;
  o.answerConfigure = false;
  o.answerStop = false;
  FakeAccessory fake(o);
  EXPECT_FALSE(send(fake, DISCOVER, 0).empty());
  EXPECT_TRUE(send(fake, gen2Configure(1, 15, 1, 0, true, 1, 500), 0).empty());
  EXPECT_TRUE(send(fake, STOP, 0).empty());
  // A clock that jumps an hour does not produce an hour of backlog.
  send(fake, SWEEP, 0);
  EXPECT_EQ(frames(6, fake.pendingFrames(3600000)).size(), 50u);
  EXPECT_EQ(fake.nextFrameDueMs(), 3600200);
  EXPECT_EQ(frames(6, fake.pendingFrames(3600400)).size(), 2u);
}

// The link thread writes commands while a test thread drains frames (ThreadSanitizer build).
TEST(FakeAccessory, CommandsAndFramesFromTwoThreads) {
  FakeAccessory fake(GENERATION_TARVO2);
  std::atomic<bool> done{false};
  std::atomic<int64_t> clock{0};
  std::thread link([&] {
    for (int i = 0; i < 200; ++i) {
      const int64_t now = clock.fetch_add(10);
      send(fake, i % 50 == 0 ? STOP : SWEEP, now);
      if (i % 20 == 0) send(fake, SCAN, now);
    }
    done = true;
  });
  size_t bytes = 0;
  while (!done) {
    bytes += fake.pendingFrames(clock.load()).size();
    (void)fake.configuration();
    (void)fake.nextFrameDueMs();
  }
  link.join();
  bytes += fake.pendingFrames(clock.load() + 1000).size();
  EXPECT_GT(bytes, 0u);
  EXPECT_EQ(fake.commands().size(), 210u);
}

}  // namespace
}  // namespace tarvo::sim
