// The demo recordings the build wrote into build/res/packets: every file demo playback names is
// there, is a whole number of frames of its kind, and holds what the demo expects.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <set>

#include <unistd.h>

#include "acquisition/protocol/AccessoryProtocol.h"
#include "tools/sim/RecordingReader.h"
#include "tools/sim/Recordings.h"

namespace tarvo::sim {
namespace {

namespace fs = std::filesystem;
const std::string RES = std::string(TARVO_BINARY_DIR) + "/res/";

Bytes load(const std::string& path) {
  Bytes b;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return b;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
  std::fclose(f);
  return b;
}

// The names demo playback builds: hardware prefix + suffix, written out here by hand.
struct Expected {
  const char* path;
  int generation;
  int frameLength;  // 0: SSID frames of varying size
};
const Expected EXPECTED[] = {
    {"packets/Tarvo/Tarvo_discover.bin", 2, 68},       {"packets/Tarvo/Tarvo_settings.bin", 2, 3},
    {"packets/Tarvo/Tarvo_spectrumNone.bin", 2, 52},   {"packets/Tarvo/Tarvo_spectrumWifi.bin", 2, 52},
    {"packets/Tarvo/Tarvo_spectrumDect.bin", 2, 52},   {"packets/Tarvo/Tarvo_spectrumDsss.bin", 2, 52},
    {"packets/Tarvo/Tarvo_powerNone.bin", 2, 62},      {"packets/Tarvo/Tarvo_powerWifi.bin", 2, 62},
    {"packets/Tarvo/Tarvo_powerDect.bin", 2, 62},      {"packets/Tarvo/Tarvo_powerDsss.bin", 2, 62},
    {"packets/Tarvo2/Tarvo2_discover.bin", 6, 60},     {"packets/Tarvo2/Tarvo2_settings.bin", 6, 3},
    {"packets/Tarvo2/Tarvo2_spectrumNone.bin", 6, 260}, {"packets/Tarvo2/Tarvo2_spectrumWifi.bin", 6, 260},
    {"packets/Tarvo2/Tarvo2_spectrumDect.bin", 6, 260}, {"packets/Tarvo2/Tarvo2_spectrumDsss.bin", 6, 260},
    {"packets/Tarvo2/Tarvo2_powerNone.bin", 6, 1254},  {"packets/Tarvo2/Tarvo2_powerWifi.bin", 6, 1254},
    {"packets/Tarvo2/Tarvo2_powerDect.bin", 6, 1254},  {"packets/Tarvo2/Tarvo2_powerDsss.bin", 6, 1254},
    {"packets/Tarvo2/Tarvo2_ssid.bin", 6, 0},
    {"packets/Tarvo5x/Tarvo5x_discover.bin", 7, 56},   {"packets/Tarvo5x/Tarvo5x_settings.bin", 7, 3},
    {"packets/Tarvo5x/Tarvo5x_spectrumNone.bin", 7, 260}, {"packets/Tarvo5x/Tarvo5x_spectrumWifi.bin", 7, 260},
    {"packets/Tarvo5x/Tarvo5x_spectrumDect.bin", 7, 260}, {"packets/Tarvo5x/Tarvo5x_spectrumDsss.bin", 7, 260},
    {"packets/Tarvo5x/Tarvo5x_spectrum5GHzNone.bin", 7, 516},
    {"packets/Tarvo5x/Tarvo5x_spectrum5GHzWifi.bin", 7, 516},
    {"packets/Tarvo5x/Tarvo5x_spectrum5GHzDect.bin", 7, 516},
    {"packets/Tarvo5x/Tarvo5x_spectrum5GHzDsss.bin", 7, 516},
    {"packets/Tarvo5x/Tarvo5x_ssid.bin", 7, 0},
};

TEST(Recordings, LayoutNamesEveryFileDemoPlaybackReads) {
  std::set<std::string> layout, expected;
  for (const auto& f : recordingLayout()) layout.insert(f.path);
  for (const auto& e : EXPECTED) expected.insert(e.path);
  EXPECT_EQ(layout, expected);
  EXPECT_STREQ(demoSignalFileName(3), "Dsss.bin");
  EXPECT_STREQ(demoSignal5GHzFileName(1), "5GHzWifi.bin");
  EXPECT_STREQ(demoSignalFileName(4), "");
}

TEST(Recordings, EveryFileIsAWholeNumberOfFramesOfItsKind) {
  size_t total = 0;
  for (const Expected& e : EXPECTED) {
    SCOPED_TRACE(e.path);
    const Bytes b = load(RES + e.path);
    ASSERT_FALSE(b.empty()) << "missing or empty";
    total += b.size();
    size_t at = 0, frames = 0;
    while (at < b.size()) {
      const int n = frameLengthFor(e.generation, b.data() + at, static_cast<int>(b.size() - at));
      ASSERT_GT(n, 0) << "no whole frame at offset " << at;
      if (e.frameLength > 0) {
        ASSERT_EQ(n, e.frameLength) << "at offset " << at;
      }
      at += n;
      ++frames;
    }
    if (e.frameLength > 0) {
      EXPECT_EQ(b.size() % e.frameLength, 0u);
    }
    EXPECT_GT(frames, 0u);
  }
  EXPECT_LT(total, 1500u * 1024u);  // well under 2 MB in all
}

TEST(Recordings, DiscoverAndSettingsFilesStartTheConversation) {
  for (int gen : {2, 6, 7}) {
    SCOPED_TRACE(gen);
    const std::string prefix = generationRow(generationRowOf(gen)).demoPacketPrefix;
    const Bytes d = load(RES + prefix + "discover.bin");
    ASSERT_GE(d.size(), 3u);
    EXPECT_EQ(d[0], 0xAA);
    EXPECT_EQ(d[1] >> 5, 3);
    EXPECT_EQ(d[2], gen);
    const Bytes s = load(RES + prefix + "settings.bin");
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], 0xAA);
    EXPECT_EQ(s[1] >> 5, 2);
  }
}

TEST(Recordings, SsidFilesAreValidScanFramesWithBothBandsOnTheDualBand) {
  for (int gen : {6, 7}) {
    SCOPED_TRACE(gen);
    const std::string prefix = generationRow(generationRowOf(gen)).demoPacketPrefix;
    std::string error;
    const auto frames = readScanFrames(load(RES + prefix + "ssid.bin"), &error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_GE(frames.size(), 10u);
    std::set<int> bands;
    bool renamedSeen = false;
    for (size_t i = 0; i < frames.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_TRUE(frames[i].checksumsOk);
      EXPECT_LE(frames[i].records.size(), 20u);
      // Cycle rule: a frame of 20 is followed by a closing frame that is not empty.
      if (frames[i].records.size() == 20) {
        ASSERT_LT(i + 1, frames.size());
        EXPECT_FALSE(frames[i + 1].records.empty());
      }
      for (const auto& r : frames[i].records) {
        bands.insert(r.bandCode);
        EXPECT_NE(r.channel, 0);
        const std::array<uint8_t, 5> head{0xE0, 0x91, 0xF5, 0x76, 0x83};
        renamedSeen |= std::equal(head.begin(), head.end(), r.bssid.begin());
      }
    }
    EXPECT_EQ(bands, gen == 7 ? (std::set<int>{0, 1}) : (std::set<int>{1}));
    EXPECT_TRUE(renamedSeen);
  }
}

TEST(Recordings, PowerCapturesTriggerAtTheDemoTriggerSettings) {
  for (int gen : {2, 6}) {
    const AccessoryProfile p = defaultProfile(gen);
    int levelCode = 0;
    const CaptureGeometry g = captureGeometryFor(p, demoTriggerFor(gen), &levelCode);
    // 24 or 148 in exact arithmetic; the single-precision delay may put it one sample later.
    EXPECT_NEAR(g.triggerIndex, gen == 2 ? 24 : 148, 1);
    const std::string prefix = generationRow(generationRowOf(gen)).demoPacketPrefix;
    for (const char* signal : {"None.bin", "Wifi.bin", "Dect.bin", "Dsss.bin"}) {
      SCOPED_TRACE(testing::Message() << gen << " " << signal);
      const auto captures = readCaptures(load(RES + prefix + "power" + signal), p);
      ASSERT_GE(captures.size(), 20u);
      int triggered = 0;
      const float level = p.hostPower().dbm(levelCode);
      for (const auto& c : captures) {
        if (!c.triggered) continue;
        ++triggered;
        EXPECT_LT(c.dbm[g.triggerIndex - 1], level);
        EXPECT_GE(c.dbm[g.triggerIndex], level);
      }
      if (std::string(signal) == "None.bin") EXPECT_EQ(triggered, 0);
      else EXPECT_GT(triggered, static_cast<int>(captures.size()) * 3 / 4);
    }
  }
}

// A loop must not jump where it wraps: the last sweep differs from the first no more than
// neighbouring sweeps differ elsewhere (compared on the slow part: the mean level of each sweep).
TEST(Recordings, SpectrumLoopsWrapWithoutASeam) {
  for (const RecordingFile& file : recordingLayout()) {
    if (file.kind != RecordingKind::Spectrum && file.kind != RecordingKind::Spectrum5GHz) continue;
    SCOPED_TRACE(file.path);
    const AccessoryProfile p = defaultProfile(file.generation);
    const auto sweeps = readSweeps(load(RES + file.path), p, file.kind == RecordingKind::Spectrum5GHz ? 1 : 0);
    ASSERT_GE(sweeps.size(), 48u);
    // A minute of sweeps or more at demo pace.
    const double seconds = sweeps.size() * p.packetsPerSweep() * p.sweepPeriodSeconds(file.kind == RecordingKind::Spectrum5GHz ? 1 : 0);
    EXPECT_GE(seconds, 60.0);
    std::vector<double> means;
    for (const auto& s : sweeps) means.push_back(std::accumulate(s.begin(), s.end(), 0.0) / s.size());
    std::vector<double> steps;
    for (size_t i = 1; i < means.size(); ++i) steps.push_back(std::abs(means[i] - means[i - 1]));
    std::sort(steps.begin(), steps.end());
    const double wrap = std::abs(means.front() - means.back());
    EXPECT_LE(wrap, steps[steps.size() * 98 / 100] + 0.05) << "wrap step " << wrap;
  }
}

TEST(Recordings, TheBuildWroteWhatTheSimulatorMakesNow) {
  // The files on disk come from the current simulator and the default seed (a stale file
  // would mean the build's recording step did not rerun).
  for (const RecordingFile& file : recordingLayout())
    EXPECT_TRUE(load(RES + file.path) == buildRecording(file, RecordingOptions{})) << file.path;
}

TEST(SimulateCommand, WritesTheLayoutIntoAFolderAndRejectsBadArguments) {
  const fs::path dir = fs::temp_directory_path() / ("tarvo-sim-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  const std::string cli = TARVO_CLI_PATH;
  EXPECT_EQ(std::system((cli + " simulate " + dir.string() + " --seed 7 > /dev/null").c_str()), 0);
  for (const Expected& e : EXPECTED) EXPECT_TRUE(fs::exists(dir / e.path)) << e.path;
  RecordingOptions seven;
  seven.seed = 7;
  const RecordingFile wifi{"packets/Tarvo2/Tarvo2_spectrumWifi.bin", 6, RecordingKind::Spectrum, SceneKind::Wifi, 260};
  EXPECT_TRUE(load((dir / wifi.path).string()) == buildRecording(wifi, seven));
  EXPECT_FALSE(load((dir / wifi.path).string()) == buildRecording(wifi, RecordingOptions{}));
  EXPECT_FALSE(fs::exists(dir / (std::string(wifi.path) + ".part")));
  fs::remove_all(dir);
  for (const char* bad : {" simulate", " simulate x --seed", " simulate x --seed nine", " nosuchcommand"})
    EXPECT_NE(std::system((cli + bad + " 2> /dev/null").c_str()), 0) << bad;
}

}  // namespace
}  // namespace tarvo::sim
