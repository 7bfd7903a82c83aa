#include "tools/sim/AccessoryProfile.h"

#include <algorithm>
#include <cmath>

namespace tarvo::sim {

namespace {
constexpr float GEN1_SPECTRUM_SLOPE = 45.0f / 124.0f;
constexpr float GEN1_SPECTRUM_OFFSET = -100.0f;
constexpr float GEN2_POWER_OFFSET_CORRECTION = 5.0f;
}  // namespace

SlopeOffset AccessoryProfile::hostSpectrum(int band) const {
  if (generation == GENERATION_TARVO) return {GEN1_SPECTRUM_SLOPE, GEN1_SPECTRUM_OFFSET};
  return sentSpectrum[band == BAND_5G ? 1 : 0];
}

SlopeOffset AccessoryProfile::hostPower() const {
  if (generation == GENERATION_TARVO2) return {sentPower.slope, sentPower.offset - GEN2_POWER_OFFSET_CORRECTION};
  return sentPower;
}

float AccessoryProfile::hostFloorDbm(int band) const {
  return hostSpectrum(band).dbm(floorCode[band == BAND_5G ? 1 : 0]);
}

int AccessoryProfile::discoverLength() const {
  switch (generation) {
    case GENERATION_TARVO: return 68;
    case GENERATION_TARVO25: return 56;
    default: return 60;
  }
}

int AccessoryProfile::configureLength() const {
  switch (generation) {
    case GENERATION_TARVO: return 32;
    case GENERATION_TARVO25: return 8;
    default: return 20;
  }
}

int AccessoryProfile::spectrumFrameLength(int band) const {
  switch (generation) {
    case GENERATION_TARVO: return band == BAND_2G4 ? 52 : 0;
    case GENERATION_TARVO25: return band == BAND_5G ? 516 : 260;
    default: return band == BAND_2G4 ? 260 : 0;
  }
}

int AccessoryProfile::powerFrameLength() const {
  switch (generation) {
    case GENERATION_TARVO: return 62;
    case GENERATION_TARVO25: return 0;
    default: return 1254;
  }
}

int AccessoryProfile::binsPerSweep(int band) const {
  switch (generation) {
    case GENERATION_TARVO: return band == BAND_2G4 ? 100 : 0;
    case GENERATION_TARVO25: return band == BAND_5G ? 512 : 256;
    default: return band == BAND_2G4 ? 256 : 0;
  }
}

int AccessoryProfile::samplesPerTrace() const {
  switch (generation) {
    case GENERATION_TARVO: return 240;
    case GENERATION_TARVO25: return 0;
    default: return 1000;
  }
}

double AccessoryProfile::sweepPeriodSeconds(int band) const {
  switch (generation) {
    case GENERATION_TARVO: return 0.1;
    case GENERATION_TARVO25: return band == BAND_5G ? 1.25 : 0.25;
    default: return 0.2;
  }
}

AccessoryProfile defaultProfile(int generationCode) {
  AccessoryProfile p;
  switch (generationCode) {
    case GENERATION_TARVO:
      p.generation = GENERATION_TARVO;
      p.infoByte1 = 0x01;  // hardware revision
      p.infoByte2 = 0x23;  // firmware 2.3
      p.infoByte4 = 0x00;
      p.infoByte5 = 0x11;
      p.infoByte6 = 0x04;
      p.spectrumCapable = true;
      p.powerCapable = true;
      p.scanCapable = false;
      p.band1Capable = true;
      p.band2Capable = false;
      // Measured step losses of the eight-step attenuator; step 7 is the 28 dB pad.
      p.internalAttenuations = {0.0f, 4.12f, 8.05f, 12.21f, 15.94f, 20.08f, 24.03f, 28.31f};
      p.gen1ExtraWord = 0x0001E2A7u;
      p.sentPower = {0.30f, -78.0f};
      // The first generation's own spectrum pair is stale factory data; the host ignores it.
      p.sentSpectrum[0] = {0.35f, -98.5f};
      p.floorCode = {8, 0};
      break;
    case GENERATION_TARVO25:
      p.generation = GENERATION_TARVO25;
      p.infoByte1 = 0x03;
      p.infoByte2 = 0x14;
      p.spectrumCapable = true;
      p.powerCapable = false;
      p.scanCapable = true;
      p.band1Capable = true;
      p.band2Capable = true;
      p.identity = {0x30, 0x4B, 0x19, 0x07, 0x86, 0x3C, 0x51, 0x20, 0x0E, 0xA2, 0x77, 0xD5};
      p.sentSpectrum[0] = {0.5f, -120.0f};
      p.sentSpectrum[1] = {0.5f, -118.0f};
      // Different floors per band: the two bands have different amplitude level counts.
      p.floorCode = {40, 36};
      p.ignoredWord = 1.0f;
      break;
    default:
      p.generation = GENERATION_TARVO2;
      p.infoByte1 = 0x02;
      p.infoByte2 = 0x31;
      p.infoByte4 = 0x01;
      p.infoByte5 = 0x07;
      p.infoByte6 = 0x02;
      p.spectrumCapable = true;
      p.powerCapable = true;
      p.scanCapable = true;
      p.band1Capable = true;
      p.band2Capable = false;
      p.identity = {0x54, 0x56, 0x32, 0x00, 0x19, 0x0A, 0x3F, 0x88, 0x41,
                    0x12, 0x9B, 0x00, 0x5C, 0xE1, 0x07, 0x2D, 0x63};
      p.sentPower = {0.25f, -65.0f};  // decoded with -70 dBm
      p.sentSpectrum[0] = {0.5f, -120.0f};
      p.floorCode = {40, 0};
      p.ignoredWord = 0.5f;
      break;
  }
  return p;
}

uint8_t amplitudeCode(float dbm, const SlopeOffset& cal) {
  if (!(cal.slope != 0.0f) || std::isnan(dbm)) return 0;
  const double code = std::round((static_cast<double>(dbm) - cal.offset) / cal.slope);
  return static_cast<uint8_t>(std::clamp(code, 0.0, 255.0));
}

}  // namespace tarvo::sim
