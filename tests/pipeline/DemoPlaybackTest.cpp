// Demo playback over hand-made recordings in a temporary resource root.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "PipelineHarness.h"
#include "acquisition/demo/DemoPlayback.h"
#include "engine/services/FileUtils.h"

namespace tarvo {
namespace {

using namespace tarvo::testing;
namespace fs = std::filesystem;

class DemoPlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvo-demo-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    previousRoot_ = eng::FileUtils::getInstance().resourceRoot();
    eng::FileUtils::getInstance().setResourceRoot(root_);
  }
  void TearDown() override {
    eng::FileUtils::getInstance().setResourceRoot(previousRoot_);
    fs::remove_all(root_);
  }

  // Writes res/<name>; the name is the one demo playback asks for.
  void write(const std::string& name, const Bytes& bytes) {
    const fs::path path = fs::path(root_) / "res" / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  void recordings(int hardware, int generation) {
    prefix_ = generationRow(hardware).demoPacketPrefix;
    DiscoverSpec spec;
    spec.generation = generation;
    write(prefix_ + "discover.bin", discoverFrame(spec));
    write(prefix_ + "settings.bin", ackFrame());
    h.model.demo.demoHardware = static_cast<uint8_t>(hardware);
  }
  // Cycles until demo playback streams (state 6), at most `limit` cycles.
  void untilStreaming(int limit = 10) {
    for (int i = 0; i < limit && h.state() != STATE_REQUEST_DATA; ++i) h.cycles(1);
    ASSERT_EQ(h.state(), STATE_REQUEST_DATA);
  }
  // One cycle per sweep period.
  void sweeps(int n, int periodMs) {
    for (int i = 0; i < n; ++i) {
      h.cycles(1);
      h.clock.advanceMs(periodMs);
    }
  }
  std::vector<float> newestRowsFirstBin(int band) {
    ModelLock lock(h.model, LOCK_SPECTRUM);
    const SweepHistory& history = h.model.spectrumStore(band).sweepHistory;
    std::vector<float> out;
    for (int i = 0; i < history.size(); ++i) out.push_back(history.row(i)[0]);
    return out;
  }

  std::string root_, previousRoot_, prefix_;
  PipelineHarness h;
};

float gen2Value(int code) { return code * 0.5f - 120.0f; }

TEST_F(DemoPlaybackTest, TenFramesThenTheFileStartsAgain) {
  recordings(0, 2);
  Bytes file;
  for (int frame = 0; frame < 10; ++frame) {
    const Bytes f = spectrumFrame(2, 0, frame % 2, std::vector<uint8_t>(50, 10 * frame + 1));
    file.insert(file.end(), f.begin(), f.end());
  }
  ASSERT_EQ(file.size(), 520u);
  write(prefix_ + "spectrumWifi.bin", file);
  untilStreaming();
  EXPECT_FALSE(h.model.isConnected());
  sweeps(14, 100);  // 14 frames: the ten, then four from the start again
  const float slope = 45.0f / 124.0f;
  std::vector<float> expected;
  for (int frame : {0, 2, 4, 6, 8, 0, 2}) expected.push_back((10 * frame + 1) * slope - 100.0f);
  EXPECT_EQ(newestRowsFirstBin(0), expected);
}

TEST_F(DemoPlaybackTest, TruncatedTrailingFrameIsNeverFed) {
  recordings(1, 6);
  Bytes file;
  for (int frame = 0; frame < 3; ++frame) {
    const Bytes f = spectrumFrame(6, 0, 0, std::vector<uint8_t>(256, 40 + frame));
    file.insert(file.end(), f.begin(), f.end());
  }
  const Bytes partial = spectrumFrame(6, 0, 0, std::vector<uint8_t>(256, 99));
  file.insert(file.end(), partial.begin(), partial.begin() + 100);
  write(prefix_ + "spectrumWifi.bin", file);
  untilStreaming();
  sweeps(5, 200);
  const std::vector<float> expected = {gen2Value(40), gen2Value(41), gen2Value(42), gen2Value(40), gen2Value(41)};
  EXPECT_EQ(newestRowsFirstBin(0), expected);
  EXPECT_EQ(h.delegate.bufferedBytes(), 0u);
}

TEST_F(DemoPlaybackTest, MissingFilesKeepTheControllerWhereItIs) {
  h.model.demo.demoHardware = 1;
  h.cycles(5);
  EXPECT_EQ(h.state(), STATE_AWAIT_DISCOVER);
  EXPECT_FALSE(h.delegate.linkState().discovered);

  DiscoverSpec spec;
  write("packets/Tarvo2/Tarvo2_discover.bin", discoverFrame(spec));
  h.cycles(8);
  EXPECT_EQ(h.state(), STATE_AWAIT_ACK) << "no settings recording: no acknowledgement";

  write("packets/Tarvo2/Tarvo2_settings.bin", ackFrame());
  untilStreaming();
  sweeps(5, 200);  // no sweep recording
  EXPECT_EQ(h.state(), STATE_REQUEST_DATA);
  EXPECT_TRUE(newestRowsFirstBin(0).empty());
}

TEST_F(DemoPlaybackTest, DualBandInPowerModeFeedsNothing) {
  recordings(2, 7);
  // Were this file ever fed, a 5 GHz row would appear.
  write(prefix_ + "powerWifi.bin", spectrumFrame(7, 1, 0, std::vector<uint8_t>(512, 80)));
  write(prefix_ + "spectrumWifi.bin", spectrumFrame(7, 0, 0, std::vector<uint8_t>(256, 80)));
  h.model.common.spectrumMode = 0;
  untilStreaming();
  EXPECT_EQ(h.model.common.spectrumMode, 1) << "discovery leaves the mode the accessory lacks";
  h.model.common.spectrumMode = 0;
  sweeps(10, 100);
  EXPECT_TRUE(newestRowsFirstBin(0).empty());
  EXPECT_TRUE(newestRowsFirstBin(1).empty());
  EXPECT_EQ(h.delegate.bufferedBytes(), 0u);
}

TEST_F(DemoPlaybackTest, SignalChangeReloadsAfterTheAcknowledgement) {
  recordings(1, 6);
  write(prefix_ + "spectrumWifi.bin", spectrumFrame(6, 0, 0, std::vector<uint8_t>(256, 50)));
  write(prefix_ + "spectrumDect.bin", spectrumFrame(6, 0, 0, std::vector<uint8_t>(256, 150)));
  untilStreaming();
  sweeps(2, 200);
  EXPECT_EQ(newestRowsFirstBin(0), std::vector<float>(2, gen2Value(50)));

  h.model.demo.demoSignal = DEMO_SIGNAL_DECT;
  h.delegate.requestReconfigure(true);
  untilStreaming();
  EXPECT_TRUE(newestRowsFirstBin(0).empty()) << "stores reset on the acknowledgement";
  sweeps(2, 200);
  EXPECT_EQ(newestRowsFirstBin(0), std::vector<float>(2, gen2Value(150)));
}

TEST_F(DemoPlaybackTest, ScanFramesReplayWhileSweepsKeepFlowing) {
  recordings(2, 7);
  write(prefix_ + "spectrumWifi.bin", spectrumFrame(7, 0, 0, std::vector<uint8_t>(256, 60)));
  write(prefix_ + "ssid.bin", concat({scanFrame(scanRecords(3)), scanFrame(scanRecords(2, 3))}));
  untilStreaming();
  sweeps(1, 250);  // first sweep and the first scan frame at once (no delay on this hardware)
  EXPECT_EQ(h.model.accessPoints.size(), 3u);
  // The short scan frame ends the cycle: two cycles pass through states 9 and 11 (no stop
  // acknowledgement to wait for), then the sweeps go on; 4 s after the first, the second.
  EXPECT_EQ(h.state(), STATE_STOP);
  sweeps(15, 250);
  EXPECT_EQ(h.model.accessPoints.size(), 3u);
  sweeps(2, 250);
  EXPECT_EQ(h.model.accessPoints.size(), 5u);
  EXPECT_EQ(newestRowsFirstBin(0).size(), 15u);
}

TEST_F(DemoPlaybackTest, CorruptBandReadsAsTheFirstBand) {
  recordings(2, 7);
  write(prefix_ + "spectrumWifi.bin", spectrumFrame(7, 0, 0, std::vector<uint8_t>(256, 60)));
  write(prefix_ + "spectrum5GHzWifi.bin", spectrumFrame(7, 1, 0, std::vector<uint8_t>(512, 60)));
  h.model.spectrum.band = 7;
  untilStreaming();
  sweeps(2, 250);
  EXPECT_EQ(newestRowsFirstBin(0).size(), 2u);
  EXPECT_TRUE(newestRowsFirstBin(1).empty());
  h.model.spectrum.band = BAND_5G;
  sweeps(3, 1250);  // the sweep timer is shared: the first 5 GHz frame waits one 5 GHz period
  EXPECT_EQ(newestRowsFirstBin(1).size(), 2u);
}

TEST_F(DemoPlaybackTest, UnknownHardwareDoesNothing) {
  recordings(1, 6);
  h.model.demo.demoHardware = 9;
  h.cycles(5);
  EXPECT_EQ(h.state(), STATE_AWAIT_DISCOVER);
  EXPECT_FALSE(h.delegate.linkState().discovered);
}

TEST(DemoFiles, NamesPerSignal) {
  EXPECT_EQ(demoSignalFileName(0, false), "None.bin");
  EXPECT_EQ(demoSignalFileName(3, true), "5GHzDsss.bin");
  EXPECT_EQ(demoSignalFileName(4, false), "");
  EXPECT_EQ(demoFrameSizes(2).band2Sweep, 516);
  EXPECT_EQ(demoFrameSizes(0).power, 62);
}

}  // namespace
}  // namespace tarvo

namespace tarvo {
namespace {

// The recordings the build writes into its res/ folder, replayed for every hardware row and
// signal: sweeps (or captures) land in the stores and, with WIFI, the scan frames in the list.
struct BuiltInCase {
  int hardware;
  bool powerMode;
};

class BuiltInRecordings : public ::testing::TestWithParam<BuiltInCase> {
 protected:
  void SetUp() override {
    previousRoot_ = eng::FileUtils::getInstance().resourceRoot();
    eng::FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
    if (!eng::FileUtils::getInstance().isFileExist("packets/Tarvo2/Tarvo2_discover.bin"))
      GTEST_SKIP() << "the demo recordings were not built into " << TARVO_BINARY_DIR << "/res";
  }
  void TearDown() override { eng::FileUtils::getInstance().setResourceRoot(previousRoot_); }
  std::string previousRoot_;
};

TEST_P(BuiltInRecordings, ReplayIntoTheStores) {
  const BuiltInCase& c = GetParam();
  for (int signal = 0; signal < DEMO_SIGNAL_COUNT; ++signal) {
    SCOPED_TRACE(::testing::Message() << "signal " << signal);
    PipelineHarness h;
    h.model.demo.demoHardware = static_cast<uint8_t>(c.hardware);
    h.model.demo.demoSignal = static_cast<uint8_t>(signal);
    h.model.common.spectrumMode = c.powerMode ? 0 : 1;
    for (int cycle = 0; cycle < 1200; ++cycle) {  // two minutes: past the first scan replay
      h.delegate.runCycle();
      h.clock.advanceMs(100);
    }
    ASSERT_TRUE(h.delegate.linkState().discovered);
    EXPECT_EQ(h.model.deviceInfo()->generationCode, generationRow(c.hardware).code);
    EXPECT_EQ(h.delegate.bufferedBytes(), 0u) << "whole frames only";
    ModelLock lock(h.model, LOCK_ALL);
    if (c.powerMode) {
      EXPECT_FALSE(h.model.powerTraces().empty() && h.model.rollSamples().empty());
    } else {
      EXPECT_GT(h.model.band24.sweepHistory.size(), 100);
      EXPECT_EQ(h.model.band24.heatMap.size(),
                static_cast<size_t>(h.model.band24.heatMapBins) * h.model.band24.heatMapLevels);
      if (c.hardware != 0 && signal == DEMO_SIGNAL_WIFI) {
        EXPECT_FALSE(h.model.accessPoints.empty());
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, BuiltInRecordings,
                         ::testing::Values(BuiltInCase{0, false}, BuiltInCase{1, false}, BuiltInCase{2, false},
                                           BuiltInCase{0, true}, BuiltInCase{1, true}),
                         [](const auto& info) {
                           return std::string("hardware") + std::to_string(info.param.hardware) +
                                  (info.param.powerMode ? "_power" : "_spectrum");
                         });

}  // namespace
}  // namespace tarvo
