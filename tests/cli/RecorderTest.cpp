// The recorder without USB: the simulated accessory's answers to the controller's commands go
// through the packet handler and the RecordingWriter on virtual time, for every generation and
// mode; the written folder replays with tarvo-cli replay. Also the writer's own rules: stale
// traffic before the discover response, frames of other sizes, chunking.
#include <gtest/gtest.h>

#include <filesystem>

#include "CliRun.h"
#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"
#include "tools/cli/Recorder.h"
#include "tools/sim/FakeAccessory.h"

namespace tarvo::cli {
namespace {

namespace fs = std::filesystem;
using namespace tarvo::clitest;

// Commands go to the fake accessory; its answers wait until the cycle is over.
class FakeLink : public CommandQueue {
 public:
  FakeLink(sim::FakeAccessory& fake, eng::ManualClock& clock) : fake_(fake), clock_(clock) {}
  bool enqueue(std::vector<uint8_t> bytes, int) override {
    if (bytes.empty()) return false;
    const auto reply = fake_.handleCommand(bytes.data(), bytes.size(), clock_.nowMs());
    pending_.insert(pending_.end(), reply.begin(), reply.end());
    return true;
  }
  std::vector<uint8_t> take() {
    auto due = fake_.pendingFrames(clock_.nowMs());
    pending_.insert(pending_.end(), due.begin(), due.end());
    return std::exchange(pending_, {});
  }

 private:
  sim::FakeAccessory& fake_;
  eng::ManualClock& clock_;
  std::vector<uint8_t> pending_;
};

struct Session {
  explicit Session(GenerationCode generation, bool powerMode, int band)
      : fake(generation), delegate(model, clock), link(fake, clock), writer(powerMode, band, true) {
    model.common.spectrumMode = powerMode ? 0 : 1;
    model.spectrum.band = band;
    model.demo.demoHardware = 255;
    delegate.deviceAdded(&link, &device);
  }
  // Runs `seconds` of controller cycles; every chunk goes to the handler and the writer, in
  // pieces of at most `chunk` bytes (a USB read returns up to 2048).
  void run(double seconds, int chunk = 2048) {
    for (int i = 0; i < static_cast<int>(seconds * 10); ++i) {
      delegate.runCycle();
      for (int step = 0; step < 4; ++step) {
        clock.advanceMs(25);
        const auto bytes = link.take();
        for (size_t at = 0; at < bytes.size(); at += static_cast<size_t>(chunk)) {
          const int n = static_cast<int>(std::min<size_t>(chunk, bytes.size() - at));
          delegate.dataReceived(&link, &device, bytes.data() + at, n);
          writer.add(bytes.data() + at, n, delegate.decoderGeneration());
        }
      }
    }
  }

  sim::FakeAccessory fake;
  AnalyzerModel model;
  eng::ManualClock clock;
  AccessoryCommunicationDelegate delegate;
  FakeLink link;
  RecordingWriter writer;
  int device = 0;
};

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvo-record-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

struct RecordCase {
  GenerationCode generation;
  int hardware;
  bool powerMode;
  int band;
  const char* dataFile;
  int frameSize;
};

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.dataFile; }

class RecordEveryGeneration : public RecorderTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordEveryGeneration, WritesWholeFramesThatReplay) {
  const RecordCase& c = GetParam();
  Session s(c.generation, c.powerMode, c.band);
  s.run(20.0, 700);
  ASSERT_TRUE(s.writer.haveDiscover());
  ASSERT_TRUE(s.writer.haveAcknowledge());
  ASSERT_GT(s.writer.dataFrames(), 5);
  std::vector<std::string> written;
  ASSERT_EQ(s.writer.write(dir_.string(), 1, written), "");

  const fs::path data = dir_ / c.dataFile;
  ASSERT_TRUE(fs::exists(data)) << data;
  EXPECT_EQ(fs::file_size(data), static_cast<uintmax_t>(s.writer.dataFrames()) * c.frameSize)
      << "a concatenation of whole frames of one size";

  const std::string csv = (dir_ / "replay.csv").string();
  const RunResult r = runCli("replay --recordings " + dir_.string() + " --hardware " + std::to_string(c.hardware) +
                             " --mode " + (c.powerMode ? "power" : "spectrum") + " --band " +
                             (c.band == 1 ? "5" : "2.4") + " --seconds 10 --csv " + csv);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_GT(csvDataRows(readText(csv)), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Generations, RecordEveryGeneration,
    ::testing::Values(RecordCase{GENERATION_TARVO, 0, false, 0, "packets/Tarvo/Tarvo_spectrumWifi.bin", 52},
                      RecordCase{GENERATION_TARVO, 0, true, 0, "packets/Tarvo/Tarvo_powerWifi.bin", 62},
                      RecordCase{GENERATION_TARVO2, 1, false, 0, "packets/Tarvo2/Tarvo2_spectrumWifi.bin", 260},
                      RecordCase{GENERATION_TARVO2, 1, true, 0, "packets/Tarvo2/Tarvo2_powerWifi.bin", 1254},
                      RecordCase{GENERATION_TARVO25, 2, false, 0, "packets/Tarvo5x/Tarvo5x_spectrumWifi.bin", 260},
                      RecordCase{GENERATION_TARVO25, 2, false, 1, "packets/Tarvo5x/Tarvo5x_spectrum5GHzWifi.bin", 516}),
    [](const auto& info) {
      return std::string("row") + std::to_string(info.param.hardware) + (info.param.powerMode ? "_power" : "_spectrum") +
             (info.param.band == 1 ? "_5GHz" : "");
    });

TEST_F(RecorderTest, ScanFramesOfTheSecondGenerationGoToTheSsidFile) {
  Session s(GENERATION_TARVO2, false, 0);
  s.run(30.0);
  ASSERT_GT(s.writer.scanFrames(), 0);
  std::vector<std::string> written;
  ASSERT_EQ(s.writer.write(dir_.string(), 1, written), "");
  EXPECT_TRUE(fs::exists(dir_ / "packets/Tarvo2/Tarvo2_ssid.bin"));
  EXPECT_EQ(fs::file_size(dir_ / "packets/Tarvo2/Tarvo2_settings.bin"), 3u);
  EXPECT_EQ(fs::file_size(dir_ / "packets/Tarvo2/Tarvo2_discover.bin"), 60u);
}

TEST_F(RecorderTest, TrafficBeforeTheDiscoverResponseAndByteChunksAreHandled) {
  Session s(GENERATION_TARVO2, false, 0);
  // A stale half frame and noise before the conversation starts.
  const std::vector<uint8_t> stale = {0x00, 0x13, 0xAA, 0xA0, 0x01, 0x02};
  s.writer.add(stale.data(), static_cast<int>(stale.size()), 0);
  s.run(5.0, 1);
  EXPECT_TRUE(s.writer.haveDiscover());

  EXPECT_GT(s.writer.dataFrames(), 3);
  std::vector<std::string> written;
  ASSERT_EQ(s.writer.write(dir_.string(), 0, written), "");
  EXPECT_EQ(fs::file_size(dir_ / "packets/Tarvo2/Tarvo2_discover.bin"), 60u);
  EXPECT_EQ(fs::file_size(dir_ / "packets/Tarvo2/Tarvo2_spectrumNone.bin") % 260, 0u);
}

TEST_F(RecorderTest, NothingWrittenWithoutAConversation) {
  RecordingWriter w(false, 0, true);
  std::vector<std::string> written;
  EXPECT_EQ(w.write(dir_.string(), 1, written), "no discover response was recorded");
  EXPECT_TRUE(written.empty());
  EXPECT_FALSE(fs::exists(dir_ / "packets"));
}

TEST(RecordArguments, AreChecked) {
  struct Case {
    std::vector<std::string> args;
    const char* complaint;
  };
  const Case cases[] = {
      {{}, "the output <folder> is required"},
      {{"out", "--mode", "waterfall"}, "--mode must be spectrum or power"},
      {{"out", "--mode", "power", "--band", "5"}, "--band 5 applies to spectrum mode only"},
      {{"out", "--seconds", "0"}, "--seconds must be"},
      {{"out", "--timeout", "x"}, "--timeout must be"},
      {{"out", "--signal", "radar"}, "--signal must be"},
      {{"out", "other"}, "unexpected argument"},
      {{"out", "--seconds"}, "--seconds needs a value"},
  };
  for (const Case& c : cases) {
    RecordOptions o;
    EXPECT_NE(parseRecordOptions(c.args, o).find(c.complaint), std::string::npos) << c.complaint;
  }
  RecordOptions o;
  EXPECT_EQ(parseRecordOptions({"out", "--mode", "power", "--seconds", "2.5", "--signal", "dect"}, o), "");
  EXPECT_TRUE(o.powerMode);
  EXPECT_EQ(o.seconds, 2.5);
  EXPECT_EQ(o.signal, 2);
}

}  // namespace
}  // namespace tarvo::cli
