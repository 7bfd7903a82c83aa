#include "tools/sim/Recordings.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace tarvo::sim {

namespace {

const char* const SIGNAL_FILES[] = {"None.bin", "Wifi.bin", "Dect.bin", "Dsss.bin"};
const char* const SIGNAL_FILES_5G[] = {"5GHzNone.bin", "5GHzWifi.bin", "5GHzDect.bin", "5GHzDsss.bin"};

// Noise floors the scenes sit on, a few dB above each band's floor code.
float spectrumNoiseDbm(const AccessoryProfile& p, int band) { return p.hostFloorDbm(band) + (band == BAND_5G ? 4.0f : 3.5f); }
float powerNoiseDbm(const AccessoryProfile& p) { return p.hostPower().offset + 12.0f; }

uint64_t sceneSeed(uint32_t seed, int generation, int band) {
  // The same neighbourhood for every generation (one population), but a different noise draw.
  return static_cast<uint64_t>(seed) ^ (static_cast<uint64_t>(generation) << 8) ^ (static_cast<uint64_t>(band) << 4);
}

void append(Bytes& out, const Bytes& frame) { out.insert(out.end(), frame.begin(), frame.end()); }

}  // namespace

const char* demoSignalFileName(int signal) { return (signal >= 0 && signal < 4) ? SIGNAL_FILES[signal] : ""; }
const char* demoSignal5GHzFileName(int signal) { return (signal >= 0 && signal < 4) ? SIGNAL_FILES_5G[signal] : ""; }

std::vector<RecordingFile> recordingLayout() {
  std::vector<RecordingFile> files;
  for (int row = 0; row < GENERATION_ROW_COUNT; ++row) {
    const GenerationRow& g = generationRow(row);
    const AccessoryProfile p = defaultProfile(g.code);
    const std::string prefix = g.demoPacketPrefix;
    files.push_back({prefix + "discover.bin", g.code, RecordingKind::Discover, SceneKind::None, p.discoverLength()});
    files.push_back({prefix + "settings.bin", g.code, RecordingKind::Settings, SceneKind::None, 3});
    for (int s = 0; s < SCENE_KIND_COUNT; ++s)
      files.push_back({prefix + "spectrum" + SIGNAL_FILES[s], g.code, RecordingKind::Spectrum, static_cast<SceneKind>(s),
                       p.spectrumFrameLength(BAND_2G4)});
    if (g.code == GENERATION_TARVO25)
      for (int s = 0; s < SCENE_KIND_COUNT; ++s)
        files.push_back({prefix + "spectrum" + SIGNAL_FILES_5G[s], g.code, RecordingKind::Spectrum5GHz,
                         static_cast<SceneKind>(s), p.spectrumFrameLength(BAND_5G)});
    if (p.powerFrameLength() > 0)
      for (int s = 0; s < SCENE_KIND_COUNT; ++s)
        files.push_back({prefix + "power" + SIGNAL_FILES[s], g.code, RecordingKind::Power, static_cast<SceneKind>(s),
                         p.powerFrameLength()});
    if (g.code != GENERATION_TARVO) files.push_back({prefix + "ssid.bin", g.code, RecordingKind::Ssid, SceneKind::Wifi, 0});
  }
  return files;
}

DemoTrigger demoTriggerFor(int generationCode) {
  // What demo playback sets on discovery: power trigger, rising edge (the default), 1 ms hold-off.
  if (generationCode == GENERATION_TARVO) return {16, -31.7f, 0.000016f, 0.001f, true};
  const float level = generationCode == GENERATION_TARVO2 ? -36.31f : -31.7f;
  return {15, level, 0.0000352f, 0.001f, true};
}

CaptureGeometry captureGeometryFor(const AccessoryProfile& p, const DemoTrigger& trigger, int* levelCode) {
  CaptureGeometry g;
  g.samples = p.samplesPerTrace();
  const int idx = std::clamp(trigger.timebaseIndex, 0, TIMEBASE_TABLE_SIZE - 1);
  const double span = static_cast<double>(TIMEBASE_TABLE[idx]) * TIMEBASE_DIVISIONS;
  const double rate = g.samples / span;
  g.sampleSeconds = span / std::max(g.samples, 1);
  const double pre = std::clamp((span * 0.5 + trigger.delaySeconds) * rate, 0.0, 4294967295.0);
  g.triggerIndex = triggerIndexFromPreCount(g.samples, static_cast<uint32_t>(pre));
  const SlopeOffset cal = p.hostPower();
  double code = (trigger.levelDbm - cal.offset) / cal.slope;
  code = std::clamp(code, 0.0, 255.0);
  code = trigger.rising ? std::floor(code) : std::ceil(code);
  if (levelCode) *levelCode = static_cast<int>(code);
  // The level the accessory compares with, in the host's terms.
  g.triggerLevelDbm = cal.dbm(static_cast<int>(code));
  g.rising = trigger.rising;
  g.levelMarginDb = 1.6f * cal.slope;
  return g;
}

int sweepsInRecording(const RecordingFile& file, const RecordingOptions& options) {
  const AccessoryProfile p = defaultProfile(file.generation);
  const int band = file.kind == RecordingKind::Spectrum5GHz ? BAND_5G : BAND_2G4;
  // Demo playback feeds one frame per sweep period.
  const double secondsPerSweep = p.sweepPeriodSeconds(band) * p.packetsPerSweep();
  return std::max(1, static_cast<int>(std::ceil(options.sweepSeconds / secondsPerSweep)));
}

Bytes buildRecording(const RecordingFile& file, const RecordingOptions& options) {
  const AccessoryProfile p = defaultProfile(file.generation);
  Bytes out;
  switch (file.kind) {
    case RecordingKind::Discover:
      return encodeDiscover(p);
    case RecordingKind::Settings:
      return encodeConfigureAck(1);  // the first configure command after power-up
    case RecordingKind::Spectrum:
    case RecordingKind::Spectrum5GHz: {
      const int band = file.kind == RecordingKind::Spectrum5GHz ? BAND_5G : BAND_2G4;
      const int sweeps = sweepsInRecording(file, options);
      const SpectrumScene scene(file.scene, band, static_cast<uint32_t>(sceneSeed(options.seed, file.generation, band)),
                                spectrumNoiseDbm(p, band), sweeps);
      const BinPlan plan = binPlanFor(file.generation, band);
      for (int k = 0; k < sweeps; ++k)
        for (const Bytes& frame : encodeSweep(p, band, scene.sweep(k, plan))) append(out, frame);
      return out;
    }
    case RecordingKind::Power: {
      int levelCode = 0;
      const CaptureGeometry g = captureGeometryFor(p, demoTriggerFor(file.generation), &levelCode);
      const PowerScene scene(file.scene, static_cast<uint32_t>(sceneSeed(options.seed, file.generation, 9)), powerNoiseDbm(p));
      const int captures = file.generation == GENERATION_TARVO ? options.gen1Captures : options.gen2Captures;
      const SlopeOffset cal = p.hostPower();
      std::vector<uint8_t> codes(g.samples);
      for (int k = 0; k < captures; ++k) {
        const Capture c = scene.capture(k, g);
        for (int i = 0; i < g.samples; ++i) codes[i] = amplitudeCode(c.dbm[i], cal);
        const bool triggered = triggerFires(codes.data(), g.samples, g.triggerIndex, levelCode, g.rising);
        for (const Bytes& frame : encodeCapture(p, c.dbm, triggered)) append(out, frame);
      }
      return out;
    }
    case RecordingKind::Ssid: {
      const AccessPointPopulation population(options.seed);
      const int cycles = file.generation == GENERATION_TARVO2 ? options.gen2ScanCycles : options.dualScanCycles;
      for (int k = 0; k < cycles; ++k)
        for (const Bytes& frame : encodeScanCycle(population.scan(file.generation, k, cycles))) append(out, frame);
      return out;
    }
  }
  return out;
}

bool writeRecordings(const std::string& folder, const RecordingOptions& options, std::string* error, size_t* totalBytes) {
  namespace fs = std::filesystem;
  size_t total = 0;
  for (const RecordingFile& file : recordingLayout()) {
    const fs::path path = fs::path(folder) / file.path;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
      if (error) *error = "cannot create " + path.parent_path().string() + ": " + ec.message();
      return false;
    }
    const Bytes bytes = buildRecording(file, options);
    // Write beside the target and rename, so a reader never sees half a file.
    const fs::path temporary = path.string() + ".part";
    {
      std::ofstream f(temporary, std::ios::binary | std::ios::trunc);
      f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      f.close();
      if (!f) {
        if (error) *error = "cannot write " + temporary.string();
        fs::remove(temporary, ec);
        return false;
      }
    }
    fs::rename(temporary, path, ec);
    if (ec) {
      if (error) *error = "cannot rename " + temporary.string() + " to " + path.string() + ": " + ec.message();
      fs::remove(temporary, ec);
      return false;
    }
    total += bytes.size();
  }
  if (totalBytes) *totalBytes = total;
  return true;
}

}  // namespace tarvo::sim
