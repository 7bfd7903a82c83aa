// The acquisition controller's state machine against a scripted link, one table row per
// conversation: each step acts (cycles, frames from the accessory, time, menu requests) and
// names the state it must leave and the commands queued meanwhile.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "PipelineHarness.h"

namespace tarvo {
namespace {

using namespace tarvo::testing;

enum class Op { Cycle, Feed, AdvanceMs, Stop, Reconfigure, ReconfigureAndReset, SingleShot, Run, Reconnect, Set, Check };

struct Step {
  Op op;
  int count = 1;  // cycles, or milliseconds
  Bytes frame{};
  int state = -1;           // expected state afterwards; -1: not checked
  const char* sent = "";    // commands queued during the step; nullptr: not checked
  std::function<void(AnalyzerModel&)> act{};
  std::function<void(PipelineHarness&)> check{};
};

Step cycle(int n, int state, const char* sent = "") { return {Op::Cycle, n, {}, state, sent}; }
Step feed(Bytes frame, int state) { return {Op::Feed, 1, std::move(frame), state, ""}; }
Step advance(int ms) { return {Op::AdvanceMs, ms, {}, -1, ""}; }
Step request(Op op, int state) { return {op, 1, {}, state, ""}; }
Step set(std::function<void(AnalyzerModel&)> f) { return {Op::Set, 1, {}, -1, "", std::move(f)}; }
Step check(std::function<void(PipelineHarness&)> f) { return {Op::Check, 1, {}, -1, nullptr, {}, std::move(f)}; }

DiscoverSpec gen(int generation) {
  DiscoverSpec s;
  s.generation = generation;
  return s;
}

struct Conversation {
  const char* name;
  int generation;
  std::function<void(AnalyzerModel&)> settings;
  std::vector<Step> steps;
};

Bytes sweepOf(int generation) { return spectrumFrame(generation, 0, 0, std::vector<uint8_t>(256, 90)); }

// Discovery and configuration, ending in state 6 with the acknowledgement handled.
std::vector<Step> bringUp(int generation) {
  return {cycle(1, STATE_AWAIT_DISCOVER, "discover"), feed(discoverFrame(gen(generation)), STATE_DISCOVERED),
          cycle(1, STATE_CONFIGURE), cycle(1, STATE_AWAIT_ACK, "configure"), feed(ackFrame(), STATE_ACKNOWLEDGED),
          cycle(1, STATE_REQUEST_DATA)};
}

std::vector<Step> join(std::vector<Step> a, const std::vector<Step>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void historyRows(PipelineHarness& h, int rows) {
  ModelLock lock(h.model, LOCK_SPECTRUM);
  EXPECT_EQ(h.model.band24.sweepHistory.size(), rows);
}

const Conversation CONVERSATIONS[] = {
    {"DiscoverRepeatedUntilAnswered",
     6,
     {},
     {cycle(1, STATE_AWAIT_DISCOVER, "discover"), cycle(1, STATE_AWAIT_DISCOVER, "discover"),
      cycle(3, STATE_AWAIT_DISCOVER, "discover discover discover"),
      feed(discoverFrame(gen(6)), STATE_DISCOVERED), cycle(1, STATE_CONFIGURE, ""),
      cycle(1, STATE_AWAIT_ACK, "configure"), cycle(3, STATE_AWAIT_ACK, "")}},

    {"ConfigureResentAfterFiftyCycles",
     7,
     {},
     {cycle(1, STATE_AWAIT_DISCOVER, "discover"), feed(discoverFrame(gen(7)), STATE_DISCOVERED),
      cycle(2, STATE_AWAIT_ACK, "configure"), cycle(49, STATE_AWAIT_ACK, ""), cycle(1, STATE_CONFIGURE, ""),
      cycle(1, STATE_AWAIT_ACK, "configure"), feed(ackFrame(), STATE_ACKNOWLEDGED), cycle(1, STATE_REQUEST_DATA),
      cycle(1, STATE_STREAMING, "sweep")}},

    {"StoreResetOnlyOnTheAcknowledgementAfterAResetRequest",
     6,
     [](AnalyzerModel& m) { m.spectrum.ssidEnabled = 0; },
     join(bringUp(6),
          {check([](PipelineHarness& h) { historyRows(h, 0); }), cycle(1, STATE_STREAMING, "sweep"),
           feed(sweepOf(6), STATE_STREAMING), feed(sweepOf(6), STATE_STREAMING),
           request(Op::Reconfigure, STATE_STOP), cycle(1, STATE_AWAIT_STOP_ACK, "stop"),
           feed(stopAckFrame(), STATE_STOPPED), cycle(1, STATE_CONFIGURE), cycle(1, STATE_AWAIT_ACK, "configure"),
           feed(ackFrame(), STATE_ACKNOWLEDGED), cycle(1, STATE_REQUEST_DATA),
           check([](PipelineHarness& h) { historyRows(h, 2); }), cycle(1, STATE_STREAMING, "sweep"),
           request(Op::ReconfigureAndReset, STATE_STOP), cycle(1, STATE_AWAIT_STOP_ACK, "stop"),
           feed(stopAckFrame(), STATE_STOPPED), cycle(2, STATE_AWAIT_ACK, "configure"),
           check([](PipelineHarness& h) { historyRows(h, 2); }), feed(ackFrame(), STATE_ACKNOWLEDGED),
           cycle(1, STATE_REQUEST_DATA), check([](PipelineHarness& h) { historyRows(h, 0); })})},

    {"StopAndReconfigure",
     6,
     {},
     join(bringUp(6),
          {cycle(1, STATE_STREAMING, "scan sweep"), request(Op::Stop, STATE_STOP),
           cycle(1, STATE_AWAIT_STOP_ACK, "stop"), cycle(2, STATE_AWAIT_STOP_ACK, ""),
           feed(stopAckFrame(), STATE_STOPPED), cycle(3, STATE_STOPPED, ""), request(Op::Reconfigure, STATE_STOP),
           cycle(1, STATE_AWAIT_STOP_ACK, "stop"), feed(stopAckFrame(), STATE_STOPPED), cycle(1, STATE_CONFIGURE),
           cycle(1, STATE_AWAIT_ACK, "configure")})},

    {"FirstGenerationStopsWithoutACommand",
     2,
     [](AnalyzerModel& m) { m.common.spectrumMode = 1; },
     join(bringUp(2), {cycle(1, STATE_REQUEST_DATA, "sweep"), cycle(1, STATE_REQUEST_DATA, "sweep"),
                       request(Op::Stop, STATE_STOP), cycle(1, STATE_STOPPED, ""), cycle(2, STATE_STOPPED, "")})},

    {"SsidTimerInterleavesScansWithSweeps",
     7,
     [](AnalyzerModel& m) { m.spectrum.ssidRefreshSeconds = 30.0f; },
     join(bringUp(7),
          {cycle(1, STATE_STREAMING, "sweep"), advance(29999), cycle(1, STATE_STREAMING, ""), advance(1),
           cycle(1, STATE_AWAIT_STOP_ACK, "stop"), feed(stopAckFrame(), STATE_STOPPED),
           cycle(1, STATE_REQUEST_DATA, ""), cycle(1, STATE_STREAMING, "scan"),
           check([](PipelineHarness& h) { EXPECT_TRUE(h.model.runtime.scanInProgress); }),
           feed(scanFrame(scanRecords(3)), STATE_STOP), cycle(1, STATE_AWAIT_STOP_ACK, "stop"),
           feed(stopAckFrame(), STATE_STOPPED), cycle(1, STATE_REQUEST_DATA, ""),
           cycle(1, STATE_STREAMING, "sweep"),
           check([](PipelineHarness& h) { EXPECT_FALSE(h.model.runtime.scanInProgress); })})},

    {"ScanCycleEndsWhenTheSecondFrameDoesNotCome",
     7,
     [](AnalyzerModel& m) { m.spectrum.ssidRefreshSeconds = 5.0f; },
     join(bringUp(7),
          {cycle(1, STATE_STREAMING, "sweep"), advance(5000), cycle(1, STATE_AWAIT_STOP_ACK, "stop"),
           feed(stopAckFrame(), STATE_STOPPED), cycle(2, STATE_STREAMING, "scan"),
           feed(scanFrame(scanRecords(20)), STATE_STREAMING), advance(249), cycle(1, STATE_STREAMING, ""),
           advance(1), cycle(1, STATE_AWAIT_STOP_ACK, "stop"), feed(stopAckFrame(), STATE_STOPPED),
           cycle(2, STATE_STREAMING, "sweep")})},

    {"WaterfallSuppressesScans",
     7,
     [](AnalyzerModel& m) {
       m.spectrum.displayMode = 1;
       m.spectrum.ssidRefreshSeconds = 5.0f;
     },
     join(bringUp(7), {cycle(1, STATE_STREAMING, "sweep"), advance(60000), cycle(3, STATE_STREAMING, "")})},

    {"WaterfallOnTheSecondGenerationSweepsOnly",
     6,
     [](AnalyzerModel& m) { m.spectrum.displayMode = 1; },
     join(bringUp(6), {cycle(1, STATE_STREAMING, "sweep")})},

    {"SingleShotGoesThroughConfigure",
     6,
     {},
     join(bringUp(6),
          {cycle(1, STATE_STREAMING, "scan sweep"), feed(sweepOf(6), STATE_STREAMING),
           request(Op::SingleShot, STATE_CONFIGURE), cycle(1, STATE_AWAIT_ACK, "configure"),
           check([](PipelineHarness& h) { historyRows(h, 1); }), feed(ackFrame(), STATE_ACKNOWLEDGED),
           cycle(1, STATE_REQUEST_DATA), check([](PipelineHarness& h) { historyRows(h, 0); }),
           cycle(1, STATE_STREAMING, "scan sweep"), feed(sweepOf(6), STATE_STOP),
           check([](PipelineHarness& h) {
             EXPECT_EQ(h.model.runtime.acquisitionPause, ACQ_SINGLE_CAPTURED);
             historyRows(h, 1);
           }),
           cycle(1, STATE_AWAIT_STOP_ACK, "stop"), feed(stopAckFrame(), STATE_STOPPED),
           feed(sweepOf(6), STATE_STOPPED), check([](PipelineHarness& h) { historyRows(h, 1); }),
           request(Op::Run, STATE_REQUEST_DATA), cycle(1, STATE_STREAMING, "scan sweep"),
           feed(sweepOf(6), STATE_STREAMING), check([](PipelineHarness& h) { historyRows(h, 2); })})},

    {"PausedAcquisitionStops",
     6,
     {},
     join(bringUp(6), {set([](AnalyzerModel& m) { m.runtime.acquisitionPause = ACQ_STOPPED; }),
                       cycle(1, STATE_STOP, ""), cycle(1, STATE_AWAIT_STOP_ACK, "stop"),
                       feed(stopAckFrame(), STATE_STOPPED), request(Op::Run, STATE_REQUEST_DATA), cycle(1, STATE_STREAMING, "scan sweep")})},

    {"FirstGenerationPrimesASweepBeforePower",
     2,
     [](AnalyzerModel& m) { m.common.spectrumMode = 0; },
     join(bringUp(2),
          {cycle(1, STATE_REQUEST_DATA, "sweep power"), cycle(2, STATE_REQUEST_DATA, "power power"),
           request(Op::Reconfigure, STATE_STOP), cycle(1, STATE_STOPPED, ""), cycle(2, STATE_AWAIT_ACK, "configure"),
           feed(ackFrame(), STATE_ACKNOWLEDGED), cycle(2, STATE_REQUEST_DATA, "power"),
           // A new discovery primes again.
           request(Op::Reconnect, STATE_START_DISCOVERY), cycle(1, STATE_AWAIT_DISCOVER, "discover"),
           feed(discoverFrame(gen(2)), STATE_DISCOVERED), cycle(2, STATE_AWAIT_ACK, "configure"),
           feed(ackFrame(), STATE_ACKNOWLEDGED), cycle(2, STATE_REQUEST_DATA, "sweep power")})},

    {"DualBandAlwaysScanning",
     7,
     [](AnalyzerModel& m) { m.spectrum.ssidRefreshSeconds = 0.0f; },
     join(bringUp(7),
          {cycle(1, STATE_STREAMING, "scan"), feed(scanFrame(scanRecords(3)), STATE_STREAMING),
           advance(120000), cycle(5, STATE_STREAMING, ""), request(Op::Reconfigure, STATE_STOP),
           cycle(1, STATE_AWAIT_STOP_ACK, "stop"), feed(stopAckFrame(), STATE_STOPPED),
           cycle(2, STATE_AWAIT_ACK, "configure"), feed(ackFrame(), STATE_ACKNOWLEDGED),
           cycle(2, STATE_STREAMING, "scan")})},

    {"CorruptSettingsAreReadSafely",
     7,
     [](AnalyzerModel& m) {
       m.spectrum.band = 7;
       m.spectrum.displayMode = 200;
       m.spectrum.ssidRefreshSeconds = std::numeric_limits<float>::quiet_NaN();
       m.power.timebaseIndex = 1000;
     },
     join(bringUp(7), {cycle(1, STATE_STREAMING, "sweep"), advance(600000), cycle(2, STATE_STREAMING, ""),
                       check([](PipelineHarness& h) {
                         h.feed(spectrumFrame(7, 0, 0, {}));
                         historyRows(h, 1);
                       })})},
};

class ControllerConversation : public ::testing::TestWithParam<Conversation> {};

TEST_P(ControllerConversation, WalksTheStates) {
  const Conversation& c = GetParam();
  PipelineHarness h;
  if (c.settings) c.settings(h.model);
  h.connect();
  ASSERT_EQ(h.state(), STATE_START_DISCOVERY);
  int index = 0;
  for (const Step& step : c.steps) {
    SCOPED_TRACE(::testing::Message() << "step " << index++);
    switch (step.op) {
      case Op::Cycle:
        h.cycles(step.count);
        break;
      case Op::Feed:
        h.feed(step.frame);
        break;
      case Op::AdvanceMs:
        h.clock.advanceMs(step.count);
        break;
      case Op::Stop:
        h.delegate.requestStop();
        break;
      case Op::Reconfigure:
        h.delegate.requestReconfigure(false);
        break;
      case Op::ReconfigureAndReset:
        h.delegate.requestReconfigure(true);
        break;
      case Op::SingleShot:
        h.delegate.singleShot();
        break;
      case Op::Run:
        h.delegate.runAcquisition();
        break;
      case Op::Reconnect:
        h.connect();
        break;
      case Op::Set:
        step.act(h.model);
        break;
      case Op::Check:
        step.check(h);
        break;
    }
    if (step.state >= 0) {
      EXPECT_EQ(h.state(), step.state);
    }
    if (step.sent) {
      EXPECT_EQ(h.link.takeNames(), step.sent);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ControllerConversation, ::testing::ValuesIn(CONVERSATIONS),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

TEST(Controller, CommandsCarryTheirTags) {
  PipelineHarness h;
  h.connect();
  h.cycles(1);
  h.feed(discoverFrame(gen(6)));
  h.cycles(2);
  h.feed(ackFrame());
  h.cycles(2);
  h.delegate.requestStop();
  h.cycles(1);
  std::vector<std::pair<std::string, int>> got;
  for (const auto& c : h.link.take()) got.emplace_back(commandName(c.bytes), c.tag);
  const std::vector<std::pair<std::string, int>> expected = {
      {"discover", TAG_DISCOVER}, {"configure", TAG_CONFIGURE}, {"scan", TAG_DATA_REQUEST},
      {"sweep", TAG_DATA_REQUEST}, {"stop", TAG_DATA_REQUEST}};
  EXPECT_EQ(got, expected);
}

TEST(Controller, ConfigureFollowsTheBandSetting) {
  PipelineHarness h;
  h.model.spectrum.band = 1;
  h.connect();
  h.cycles(1);
  h.feed(discoverFrame(gen(7)));
  h.cycles(2);
  auto commands = h.link.take();
  ASSERT_EQ(commands.size(), 2u);
  const Bytes expected = {0xAA, 0x08, 0x02, 0x53, 0x01, 0x01, 0x00, 0x00};
  EXPECT_EQ(commands[1].bytes, expected);
}

TEST(Controller, RequestsNeedADiscoveredAccessory) {
  PipelineHarness h;
  h.connect();
  h.cycles(1);
  h.delegate.requestStop();
  h.delegate.requestReconfigure(true);
  h.delegate.singleShot();
  EXPECT_EQ(h.state(), STATE_AWAIT_DISCOVER);
  EXPECT_FALSE(h.delegate.linkState().resetStores);
}

TEST(Controller, ReconfigureWithoutResetKeepsAPendingReset) {
  PipelineHarness h;
  h.connect();
  h.cycles(1);
  h.feed(discoverFrame(gen(6)));
  h.cycles(1);  // state 2: a fresh discovery asks for a store reset
  ASSERT_TRUE(h.delegate.linkState().resetStores);
  h.delegate.requestReconfigure(false);
  EXPECT_TRUE(h.delegate.linkState().resetStores);
}

TEST(Controller, DeviceRemovalFallsBackToDemoFromDiscovery) {
  PipelineHarness h;
  h.bringUp(gen(6));
  h.model.runtime.dataLogState = DATALOG_LOGGING;
  h.delegate.deviceRemoved(&h.link, &h.device, 0);
  EXPECT_EQ(h.state(), STATE_START_DISCOVERY);
  EXPECT_FALSE(h.model.isConnected());
  EXPECT_EQ(h.model.runtime.dataLogState, DATALOG_IDLE);
  EXPECT_EQ(h.delegate.linkState().link.load(), nullptr);
  // A partial frame left from the link is dropped before the next bytes.
  h.feed({0xAA, 0xA0});
  h.delegate.deviceRemoved(&h.link, &h.device, 0);
  h.delegate.dataReceived(nullptr, nullptr, ackFrame().data(), 3);
  EXPECT_EQ(h.delegate.bufferedBytes(), 0u);
}

}  // namespace
}  // namespace tarvo
