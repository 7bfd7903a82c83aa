// The controller and the packet handler against the simulated accessory, on virtual time: the
// controller's cycle every 100 ms and, in between, link passes every 10 ms that hand the
// queued commands to the accessory and its answers and streamed frames, cut into reads of at
// most 2048 bytes, to the handler.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "PipelineHarness.h"
#include "tools/sim/FakeAccessory.h"

namespace tarvo {
namespace {

using namespace tarvo::testing;

class SimulatedAccessory {
 public:
  explicit SimulatedAccessory(const sim::FakeAccessoryOptions& options) : fake(options) {}

  // Runs `ms` of virtual time.
  void run(int64_t ms) {
    for (int64_t t = 0; t < ms; t += 10) {
      if (elapsed_ % 100 == 0) h.delegate.runCycle();
      for (const auto& command : h.link.take())
        deliver(fake.handleCommand(command.bytes.data(), command.bytes.size(), h.clock.nowMs()));
      deliver(fake.pendingFrames(h.clock.nowMs()));
      h.clock.advanceMs(10);
      elapsed_ += 10;
    }
  }
  int rows(int band) {
    ModelLock lock(h.model, LOCK_SPECTRUM);
    return h.model.spectrumStore(band).sweepHistory.size();
  }
  size_t accessPoints() {
    ModelLock lock(h.model, LOCK_AP_LIST);
    return h.model.accessPoints.size();
  }
  int commandsReceived(uint8_t code) {
    int n = 0;
    for (const auto& c : fake.commands()) n += c.code == code;
    return n;
  }

  PipelineHarness h;
  sim::FakeAccessory fake;

 private:
  void deliver(const Bytes& bytes) {
    std::uniform_int_distribution<int> piece(1, USB_READ_BYTES);
    for (size_t at = 0; at < bytes.size();) {
      const size_t n = std::min<size_t>(piece(rng_), bytes.size() - at);
      h.delegate.dataReceived(&h.link, &h.device, bytes.data() + at, static_cast<int>(n));
      at += n;
    }
  }
  static constexpr int USB_READ_BYTES = 2048;  // one bulk read of the link
  std::mt19937 rng_{17};
  int64_t elapsed_ = 0;
};

sim::FakeAccessoryOptions accessory(GenerationCode generation) {
  sim::FakeAccessoryOptions o;
  o.generation = generation;
  return o;
}

struct SimCase {
  const char* name;
  GenerationCode generation;
  std::function<void(AnalyzerModel&)> settings;
  int64_t runMs;
  std::function<void(SimulatedAccessory&)> expect;
};

const SimCase CASES[] = {
    {"FirstGenerationSweeps", GENERATION_TARVO, {}, 10000,
     [](SimulatedAccessory& s) {
       // Requests go out every cycle and each buys one sweep of two segments.
       EXPECT_GT(s.rows(0), 60);
       EXPECT_EQ(s.h.model.band24.lastSweepBins, 100);
     }},
    {"FirstGenerationPowerPrimesASweep", GENERATION_TARVO, [](AnalyzerModel& m) { m.common.spectrumMode = 0; },
     5000,
     [](SimulatedAccessory& s) {
       EXPECT_EQ(s.commandsReceived(COMMAND_SWEEP), 1);
       EXPECT_GT(s.commandsReceived(COMMAND_POWER), 30);
       ModelLock lock(s.h.model, LOCK_POWER);
       ASSERT_FALSE(s.h.model.powerTraces().empty());
       EXPECT_EQ(s.h.model.powerTraces().back().size(), 240u);
     }},
    {"SecondGenerationSweepsAndAccessoryPacedScans", GENERATION_TARVO2, {}, 13000,
     [](SimulatedAccessory& s) {
       EXPECT_GT(s.rows(0), 50);
       EXPECT_GT(s.accessPoints(), 0u);
       EXPECT_GE(s.h.model.runtime.scanCount, 2u);
       EXPECT_EQ(s.commandsReceived(COMMAND_SCAN), 1) << "the accessory paces its own scans";
     }},
    {"SecondGenerationRoll", GENERATION_TARVO2,
     [](AnalyzerModel& m) {
       m.common.spectrumMode = 0;
       m.power.timebaseIndex = 2;
     },
     5000,
     [](SimulatedAccessory& s) {
       ModelLock lock(s.h.model, LOCK_POWER);
       EXPECT_GT(s.h.model.rollSamples().size(), 500u);
       EXPECT_TRUE(s.h.model.powerTraces().empty());
     }},
    {"DualBandAlternatesSweepsAndScans", GENERATION_TARVO25,
     [](AnalyzerModel& m) { m.spectrum.ssidRefreshSeconds = 5.0f; }, 20000,
     [](SimulatedAccessory& s) {
       EXPECT_GT(s.rows(0), 40);
       EXPECT_GT(s.accessPoints(), 0u);
       EXPECT_GE(s.commandsReceived(COMMAND_SCAN), 3);
       EXPECT_GE(s.commandsReceived(COMMAND_SWEEP), 3);
     }},
    {"DualBandFiveGigahertz", GENERATION_TARVO25,
     [](AnalyzerModel& m) {
       m.spectrum.band = 1;
       m.spectrum.ssidEnabled = 0;
     },
     10000,
     [](SimulatedAccessory& s) {
       EXPECT_GE(s.rows(1), 6);
       EXPECT_EQ(s.rows(0), 0);
       EXPECT_EQ(s.h.model.band5.lastSweepBins, 512);
     }},
    {"DualBandAlwaysScanning", GENERATION_TARVO25, [](AnalyzerModel& m) { m.spectrum.ssidRefreshSeconds = 0.0f; },
     10000,
     [](SimulatedAccessory& s) {
       EXPECT_EQ(s.commandsReceived(COMMAND_SWEEP), 0);
       EXPECT_EQ(s.rows(0), 0);
       EXPECT_GT(s.accessPoints(), 0u);
     }},
};

class SimulatedConversation : public ::testing::TestWithParam<SimCase> {};

TEST_P(SimulatedConversation, DataArrives) {
  const SimCase& c = GetParam();
  SimulatedAccessory s(accessory(c.generation));
  if (c.settings) c.settings(s.h.model);
  s.h.connect();
  s.run(c.runMs);
  EXPECT_TRUE(s.h.delegate.linkState().discovered);
  EXPECT_EQ(s.h.model.deviceInfo()->generationCode, c.generation);
  EXPECT_LT(s.h.delegate.bufferedBytes(), 2048u);
  c.expect(s);
}

INSTANTIATE_TEST_SUITE_P(Generations, SimulatedConversation, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimulatedAccessoryFaults, UnansweredConfigureIsSentAgainEveryFiveSeconds) {
  sim::FakeAccessoryOptions o = accessory(GENERATION_TARVO2);
  o.answerConfigure = false;
  SimulatedAccessory s(o);
  s.h.connect();
  s.run(11000);
  EXPECT_EQ(s.commandsReceived(COMMAND_CONFIGURE), 3);
  EXPECT_EQ(s.h.state(), STATE_AWAIT_ACK);
  EXPECT_EQ(s.rows(0), 0);
}

TEST(SimulatedAccessoryFaults, UnansweredDiscoverIsRepeatedEveryCycle) {
  sim::FakeAccessoryOptions o = accessory(GENERATION_TARVO25);
  o.answerDiscover = false;
  SimulatedAccessory s(o);
  s.h.connect();
  s.run(2000);
  EXPECT_EQ(s.commandsReceived(COMMAND_DISCOVER), 20);
  EXPECT_FALSE(s.h.delegate.linkState().discovered);
}

TEST(SimulatedAccessoryFaults, CorruptScanRecordsAreDropped) {
  sim::FakeAccessoryOptions o = accessory(GENERATION_TARVO2);
  o.corruptEveryNthRecord = 1;  // every record fails its checksum
  SimulatedAccessory s(o);
  s.h.connect();
  s.run(8000);
  EXPECT_GT(s.rows(0), 20);
  EXPECT_EQ(s.accessPoints(), 0u);
}

TEST(SimulatedAccessoryRun, SingleShotCapturesOneSweepThenStops) {
  SimulatedAccessory s(accessory(GENERATION_TARVO25));
  s.h.model.spectrum.ssidEnabled = 0;
  s.h.connect();
  s.run(3000);
  ASSERT_GT(s.rows(0), 3);
  s.h.delegate.singleShot();
  s.run(3000);
  EXPECT_EQ(s.h.model.runtime.acquisitionPause, ACQ_SINGLE_CAPTURED);
  EXPECT_EQ(s.rows(0), 1) << "stores reset on the acknowledgement, then one sweep";
  EXPECT_EQ(s.h.state(), STATE_STOPPED);
  EXPECT_FALSE(s.fake.sweeping());
}

}  // namespace
}  // namespace tarvo
