// Renders every demo recording (and the roll streams, which have no recording) into PNG files
// under build/plots/sim/, for looking at. The checks only make sure the pictures were made from
// real data: a plot of an empty or unreadable file would fail here rather than look blank.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tools/sim/Recordings.h"
#include "tools/sim/ScenePlot.h"
#include "tools/sim/FrameEncoder.h"

namespace tarvo::sim {
namespace {

const std::string RES = std::string(TARVO_BINARY_DIR) + "/res/";
const std::string OUT = std::string(TARVO_BINARY_DIR) + "/plots/sim/";

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

std::string stem(const std::string& path) { return std::filesystem::path(path).stem().string(); }

class ScenePlot : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(OUT); }
  void save(const Image& img, const std::string& name) {
    std::string error;
    ASSERT_TRUE(writePng(OUT + name + ".png", img, &error)) << error;
  }
};

TEST_F(ScenePlot, SpectrumRecordings) {
  for (const RecordingFile& file : recordingLayout()) {
    if (file.kind != RecordingKind::Spectrum && file.kind != RecordingKind::Spectrum5GHz) continue;
    SCOPED_TRACE(file.path);
    const AccessoryProfile p = defaultProfile(file.generation);
    const int band = file.kind == RecordingKind::Spectrum5GHz ? BAND_5G : BAND_2G4;
    const auto sweeps = readSweeps(load(RES + file.path), p, band);
    ASSERT_EQ(static_cast<int>(sweeps.size()), sweepsInRecording(file, RecordingOptions{}));
    const float lo = p.hostFloorDbm(band) - 2.0f;
    save(plotSpectrum(stem(file.path), sweeps, binPlanFor(file.generation, band), lo, lo + 80.0f), stem(file.path));
  }
}

TEST_F(ScenePlot, PowerRecordings) {
  for (const RecordingFile& file : recordingLayout()) {
    if (file.kind != RecordingKind::Power) continue;
    SCOPED_TRACE(file.path);
    const AccessoryProfile p = defaultProfile(file.generation);
    const auto captures = readCaptures(load(RES + file.path), p);
    ASSERT_FALSE(captures.empty());
    const CaptureGeometry g = captureGeometryFor(p, demoTriggerFor(file.generation), nullptr);
    const SlopeOffset cal = p.hostPower();
    save(plotCaptures(stem(file.path), captures, cal.offset, 0.0f, g.triggerIndex, g.triggerLevelDbm),
         stem(file.path));
  }
}

TEST_F(ScenePlot, RollStreams) {
  for (int gen : {2, 6}) {
    const AccessoryProfile p = defaultProfile(gen);
    const double dt = 0.4 / p.samplesPerTrace();  // ten divisions of 40 ms per trace
    for (int s = 0; s < SCENE_KIND_COUNT; ++s) {
      const PowerScene scene(static_cast<SceneKind>(s), 7, p.hostPower().offset + 12.0f);
      // Ten seconds, decimated for the picture as the host decimates at 1 s per division:
      // every d-th sample is kept.
      const int total = static_cast<int>(10.0 / dt);
      const auto raw = scene.roll(0, dt, total);
      const int group = 25;  // 1 s per division over the 0.04 s per division sample rate
      std::vector<float> shown;
      for (int i = 0; i < total; i += group) shown.push_back(raw[i]);
      const std::string name = std::string(gen == 2 ? "Tarvo" : "Tarvo2") + "_roll" + sceneName(static_cast<SceneKind>(s));
      save(plotRoll(name + " 10 S", shown, p.hostPower().offset, 0.0f), name);
    }
  }
}

TEST_F(ScenePlot, ScanRecordings) {
  for (const RecordingFile& file : recordingLayout()) {
    if (file.kind != RecordingKind::Ssid) continue;
    SCOPED_TRACE(file.path);
    std::string error;
    const auto frames = readScanFrames(load(RES + file.path), &error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_FALSE(frames.empty());
    save(plotScans(stem(file.path), frames), stem(file.path));
  }
}

}  // namespace
}  // namespace tarvo::sim
