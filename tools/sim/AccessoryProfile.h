// AccessoryProfile: who the simulated accessory is and how it is calibrated.
//
// A profile holds everything a discover response carries (capability bytes, identity, the
// slope/offset pairs and floor codes as they travel on the wire) plus the calibration the host
// ends up decoding with, which is not always what was sent:
//   - first generation: the host ignores the sent spectrum pair and uses 45/124 and -100 dBm;
//   - second generation: the host subtracts 5 dB from the sent power offset.
// Every amplitude the simulator encodes goes through hostSpectrum*/hostPower* so that a host
// decoding the frame gets back the level the scene asked for (to within one code step).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/DomainTypes.h"

namespace tarvo::sim {

struct SlopeOffset {
  float slope = 1.0f;
  float offset = 0.0f;
  float dbm(int code) const { return static_cast<float>(code) * slope + offset; }
};

struct AccessoryProfile {
  GenerationCode generation = GENERATION_TARVO2;

  // Copied verbatim by the host (infoByte1, 2, 4, 5 and 6/7).
  uint8_t infoByte1 = 0, infoByte2 = 0, infoByte4 = 0, infoByte5 = 0, infoByte6 = 0;

  // Capabilities. Single-band: byte 8 spectrum, byte 9 power. Dual-band: byte 8 SSID scan,
  // byte 9 2.4 GHz sweeps, byte 10 5 GHz sweeps.
  bool spectrumCapable = true;
  bool powerCapable = true;
  bool scanCapable = true;
  bool band1Capable = true;
  bool band2Capable = true;

  // Identity bytes: 17 (second generation) or 12 (dual-band); the first generation has none.
  std::vector<uint8_t> identity;

  // First generation only: INT. ATTEN calibration (dB per step) and the extra word.
  std::array<float, 8> internalAttenuations{};
  uint32_t gen1ExtraWord = 0;

  // Calibration as sent in the discover response. Index 0 = 2.4 GHz, 1 = 5 GHz.
  SlopeOffset sentPower;
  std::array<SlopeOffset, 2> sentSpectrum{};
  std::array<uint8_t, 2> floorCode{};
  // The float the response carries in its "read and ignored" slots.
  float ignoredWord = 0.0f;

  // What the host decodes with after reading this response.
  SlopeOffset hostSpectrum(int band) const;
  SlopeOffset hostPower() const;
  // Spectrum floor in dBm as the host computes it (floor code x host slope + host offset).
  float hostFloorDbm(int band) const;

  // The generation's numbers.
  int discoverLength() const;
  int configureLength() const;   // 32, 20 or 8
  int spectrumFrameLength(int band) const;
  int powerFrameLength() const;  // 0 on the dual-band accessory
  int binsPerSweep(int band) const;  // 0 when the generation has no such band
  int samplesPerTrace() const;       // 240, 1000 or 0
  int packetsPerSweep() const { return generation == GENERATION_TARVO ? 2 : 1; }
  int packetsPerTrace() const { return generation == GENERATION_TARVO ? 6 : 1; }
  // Values per spectrum frame: 50 (two interleaved segments), 256 or 512.
  int valuesPerSpectrumFrame(int band) const { return binsPerSweep(band) / packetsPerSweep(); }
  // Samples per power frame: 40 (six interleaved segments) or 1000.
  int samplesPerPowerFrame() const { return samplesPerTrace() / packetsPerTrace(); }
  double sweepPeriodSeconds(int band) const;
  double powerPeriodSeconds() const { return 0.1; }
};

// The plausible factory calibration of each generation (code 2, 6 or 7); any other code gives
// the second generation's profile.
AccessoryProfile defaultProfile(int generationCode);

// Amplitude code of a level: round((dBm - offset) / slope), clamped to 0..255.
uint8_t amplitudeCode(float dbm, const SlopeOffset& cal);

}  // namespace tarvo::sim
