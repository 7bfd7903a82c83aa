// Recordings: the demo packet files, made from the simulator.
//
// Layout (relative to the resource root; the build writes it into build/res/):
//
//   packets/Tarvo/Tarvo_     discover.bin settings.bin spectrum<S> power<S>
//   packets/Tarvo2/Tarvo2_   discover.bin settings.bin spectrum<S> power<S> ssid.bin
//   packets/Tarvo5x/Tarvo5x_ discover.bin settings.bin spectrum<S> spectrum<S5> ssid.bin
//
// with <S> one of None.bin Wifi.bin Dect.bin Dsss.bin and <S5> one of 5GHzNone.bin
// 5GHzWifi.bin 5GHzDect.bin 5GHzDsss.bin. The first generation cannot scan, so it has no
// ssid.bin (demo playback then finds nothing to replay, as with an empty file); the dual-band
// accessory has no power mode, so it has no power files.
//
// Each file is a plain concatenation of the frames the accessory would have sent: the discover
// response; the acknowledgement of the first configure command; sweeps (both interleaved
// segments per sweep on the first generation); power captures made at the trigger settings
// demo playback applies (the edge sits where the host's trigger delay puts it, the triggered
// flag set whenever the accessory's trigger test fires); SSID scan cycles.
//
// Lengths: a little over a minute of sweeps at demo playback's pace (one frame per sweep
// period) so a loop is long, every slow change of a scene is periodic in the loop so the wrap
// has no seam; a few seconds of power captures (each capture stands alone); several minutes of
// scan cycles at the demo's replay interval. All of it is about 1.2 MB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sim/FrameEncoder.h"
#include "tools/sim/Scenes.h"

namespace tarvo::sim {

enum class RecordingKind { Discover, Settings, Spectrum, Spectrum5GHz, Power, Ssid };

struct RecordingFile {
  std::string path;   // e.g. "packets/Tarvo2/Tarvo2_spectrumWifi.bin"
  int generation = 0; // 2, 6 or 7
  RecordingKind kind = RecordingKind::Discover;
  SceneKind scene = SceneKind::None;  // for spectrum and power files
  int frameLength = 0;  // every frame's length; 0 for the SSID file (frames of varying size)
};

// "None.bin", "Wifi.bin", "Dect.bin", "Dsss.bin" for demo signals 0..3; empty otherwise.
const char* demoSignalFileName(int signal);
// "5GHzNone.bin", ... for demo signals 0..3; empty otherwise.
const char* demoSignal5GHzFileName(int signal);

// Every file of the layout, generation by generation.
std::vector<RecordingFile> recordingLayout();

struct RecordingOptions {
  uint32_t seed = 20240611;
  double sweepSeconds = 64.0;  // of sweeps per spectrum file, at demo pace
  int gen1Captures = 48;       // 6 frames each
  int gen2Captures = 40;       // 1 frame each
  int gen2ScanCycles = 12;     // one frame each, replayed every 20 s
  int dualScanCycles = 30;     // two frames each, replayed every 4 s
};

// The trigger settings demo playback applies after discovery, and where they put the edge.
struct DemoTrigger {
  int timebaseIndex;
  float levelDbm;
  float delaySeconds;
  float holdoffSeconds;
  bool rising;
};
DemoTrigger demoTriggerFor(int generationCode);
// The capture geometry the accessory uses for the given trigger settings (no attenuation
// offset: demo playback runs with no accessory connected). Also gives the level code.
CaptureGeometry captureGeometryFor(const AccessoryProfile& profile, const DemoTrigger& trigger, int* levelCode);

// Sweeps at demo pace in one spectrum file of the layout.
int sweepsInRecording(const RecordingFile& file, const RecordingOptions& options);

// The bytes of one file.
Bytes buildRecording(const RecordingFile& file, const RecordingOptions& options);

// Writes the whole layout under `folder` (directories created). False with a message in
// `error` when a file cannot be written; `totalBytes` gets the size of everything written.
bool writeRecordings(const std::string& folder, const RecordingOptions& options, std::string* error,
                     size_t* totalBytes = nullptr);

}  // namespace tarvo::sim
