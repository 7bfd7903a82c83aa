// AccessoryProtocolTarvo2: the decoder of second-generation accessories (generation code 6).
//
// A 2.4 GHz accessory with the fine 256-bin plan sent in one frame per sweep, power traces of
// 1000 samples in one frame, SSID scans of the 2.4 GHz band (records: detail/ScanFrames.h) and
// a stop command. Data requests are sent once; the accessory keeps streaming until stopped.
//
// Discover response (60 bytes, type 3):
//   0 AA | 1 type 3 | 2 generation 6 | 3, 4 infoByte1, infoByte2 | 5 - | 6, 7 infoByte4, infoByte5
//   8 spectrum capability | 9 power capability | 10..14 - | 15 infoByte6 and infoByte7
//   16..32 accessory identity (deviceIdText) | 33..35 -
//   36 power slope | 40 power offset (used 5.0 dB lower) | 44 spectrum slope
//   48 spectrum offset (floats) | 52 ignored | 56 spectrum floor code | 57..59 -
//
// Spectrum frame (260 bytes): bytes 4..259 are the 256 bins; bytes 2, 3 are not read.
// Power frame (1254 bytes): byte 1 = 0x20 | 0x10 if triggered | segment; bytes 4..1003 are the
// 1000 samples. Stop acknowledgement: 4 bytes, type 6.
//
// Configure command (20 bytes, big-endian fields):
//   0 AA 14 02 53 | 4 sequence | 5 timebase code (17 - index) | 6 trigger level code (2)
//   8 trigger edge | 9 trigger mode (0 NORMAL, 1 AUTO, 2 roll) | 10 digital logic
//   11 digital lines | 12 hold-off sample count (4) | 16 pre-trigger sample count (4)
//
// Thread safety: as AccessoryProtocolTarvo (calibration and sequence under the decoder's mutex).
#pragma once

#include <array>
#include <mutex>

#include "acquisition/protocol/AccessoryProtocol.h"

namespace tarvo {

class AccessoryProtocolTarvo2 final : public AccessoryProtocol {
 public:
  static constexpr int DISCOVER_LENGTH = 60;
  static constexpr int SPECTRUM_LENGTH = 260;
  static constexpr int SPECTRUM_BINS = 256;
  static constexpr int POWER_LENGTH = 1254;
  static constexpr int POWER_SAMPLES = 1000;
  static constexpr int CONFIGURE_LENGTH = 20;
  static constexpr int DEVICE_ID_BYTES = 17;
  // The response's power offset is 5 dB above what the samples mean.
  static constexpr float POWER_OFFSET_CORRECTION_DB = 5.0f;

  AccessoryProtocolTarvo2();
  ~AccessoryProtocolTarvo2() override;

  int frameLength(const uint8_t* bytes, int available) const override;
  bool repeatsRequests() const override { return false; }
  bool canScan() const override;
  bool canSweep() const override;
  bool canCapturePower() const override;
  int packetsPerSweep(int) const override { return 1; }
  int packetsPerTrace() const override { return 1; }
  int decodeDiscover(const uint8_t* bytes, int length, DeviceInfo* out) override;
  int buildConfigure(uint8_t* out, int capacity, const AnalyzerModel* model) override;
  int configureLength() const override { return CONFIGURE_LENGTH; }
  int decodePower(const uint8_t* bytes, int length, float* out, int capacity, int* count, int* segment,
                  bool* triggered) override;
  int buildPowerRequest(uint8_t* out, int capacity) const override;
  int powerRequestLength() const override { return SHORT_COMMAND_LENGTH; }
  int decodeSpectrum(const uint8_t* bytes, int length, float* out, int capacity, int* count, int* band,
                     int* segment) override;
  int decodeScan(const uint8_t* bytes, int length, std::unique_ptr<AccessPointBatch>* out) override;
  int buildScanRequest(uint8_t* out, int capacity) const override;
  int scanRequestLength() const override { return SHORT_COMMAND_LENGTH; }
  int isStopAck(const uint8_t* bytes, int length) const override;
  int buildStopRequest(uint8_t* out, int capacity) const override;
  int stopRequestLength() const override { return SHORT_COMMAND_LENGTH; }
  bool reorderSegments(float* values, int count, const uint8_t* order, int segments) const override;

 private:
  struct Calibration {
    bool scanFlag = true;
    bool spectrumFlag = false;
    bool powerFlag = false;
    bool spectrumFlagCopy = false;
    float spectrumSlope = 1.0f;
    float spectrumOffset = 0.0f;
    float powerSlope = 1.0f;
    float powerOffset = 0.0f;
    float spectrumFloor = -100.0f;
    uint8_t sequence = 0;
    std::array<float, TIMEBASE_TABLE_SIZE> timebase = TIMEBASE_TABLE;
    float amplitudeScaleStep = 1.0f;
  };

  mutable std::mutex mutex_;
  Calibration cal_;
};

}  // namespace tarvo
