// RecordingReader: splits a recording made by the simulator back into what it encoded, for
// plots and for checking the files (not a substitute for the host's decoders: it knows only the
// simulator's own layout and calibration).
#pragma once

#include <string>
#include <vector>

#include "tools/sim/FrameEncoder.h"

namespace tarvo::sim {

// Sweeps of a spectrum file in dBm (first generation: pairs of segments re-interleaved).
// Stops at the first frame that does not fit.
std::vector<std::vector<float>> readSweeps(const Bytes& file, const AccessoryProfile& profile, int band);

struct ReadCapture {
  std::vector<float> dbm;
  bool triggered = false;
};
std::vector<ReadCapture> readCaptures(const Bytes& file, const AccessoryProfile& profile);

// Scan frames of an SSID file: each frame's records; `checksumsOk` is false when any record
// does not sum to 0 modulo 256. Stops at the first malformed frame (`error` says why).
struct ReadScanFrame {
  std::vector<ScanRecord> records;
  bool checksumsOk = true;
};
std::vector<ReadScanFrame> readScanFrames(const Bytes& file, std::string* error = nullptr);

}  // namespace tarvo::sim
