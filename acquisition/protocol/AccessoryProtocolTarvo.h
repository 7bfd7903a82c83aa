// AccessoryProtocolTarvo: the decoder of first-generation accessories (generation code 2).
//
// A 2.4 GHz accessory with a 1 MHz plan: 100 bins per sweep sent as two interleaved 50-bin
// frames, power traces of 240 samples sent as six interleaved 40-sample frames, an eight-step
// internal attenuator, no SSID scans and no stop command. Data requests must be re-sent every
// cycle.
//
// Discover response (68 bytes, type 3):
//   0 AA | 1 type 3 | 2 generation 2 | 3, 4 infoByte1, infoByte2 | 5 - | 6, 7 infoByte4, infoByte5
//   8 spectrum capability | 9 power capability | 10 - | 11 infoByte6 and infoByte7
//   12..43 eight big-endian floats: attenuation per INT. ATTEN step (dB)
//   44 power slope | 48 power offset | 52 spectrum slope | 56 spectrum offset (floats; the
//   spectrum pair is read but the accessory's 1 MHz plan always uses 45/124 and -100.0 dBm)
//   60 gen1ExtraWord (big-endian) | 64 spectrum floor code | 65..67 -
//
// Spectrum frame (52 bytes): byte 1 = 0xA0 | segment (0, 1); bytes 2..51 are bins s, s+2, ...
// Power frame (62 bytes): byte 1 = 0x20 | 0x10 if triggered | segment (0..5); bytes 2..41 are
// samples s, s+6, ...; bytes 42..61 are not read.
//
// Configure command (32 bytes, big-endian fields):
//   0 AA 20 02 53 | 4 trigger level code (2) | 6 timebase code | 7, 8 0 | 9 trigger edge
//   10 trigger mode (0 NORMAL, 1 AUTO, 2 roll) | 11 attenuator step (1..6, else 0) | 12, 13 0
//   14 255 | 15..19 0 | 20 digital logic | 21 digital lines | 22 sequence | 23 1 in power mode
//   24 hold-off sample count (4) | 28 pre-trigger sample count (4)
//
// Thread safety: the calibration and the sequence counter are guarded by the decoder's own
// mutex, so the packet handler may decode while the controller builds commands.
#pragma once

#include <array>
#include <mutex>

#include "acquisition/protocol/AccessoryProtocol.h"

namespace tarvo {

class AccessoryProtocolTarvo final : public AccessoryProtocol {
 public:
  static constexpr int DISCOVER_LENGTH = 68;
  static constexpr int SPECTRUM_LENGTH = 52;
  static constexpr int SPECTRUM_BINS = 50;
  static constexpr int POWER_LENGTH = 62;
  static constexpr int POWER_SAMPLES = 40;
  static constexpr int CONFIGURE_LENGTH = 32;
  // The spectrum calibration of the 1 MHz plan, whatever the discover response carries.
  static constexpr float SPECTRUM_SLOPE = 45.0f / 124.0f;
  static constexpr float SPECTRUM_OFFSET = -100.0f;

  AccessoryProtocolTarvo();
  ~AccessoryProtocolTarvo() override;

  int frameLength(const uint8_t* bytes, int available) const override;
  bool repeatsRequests() const override { return true; }
  bool canScan() const override;
  bool canSweep() const override;
  bool canCapturePower() const override;
  int packetsPerSweep(int) const override { return 2; }
  int packetsPerTrace() const override { return 6; }
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
  int buildScanRequest(uint8_t*, int) const override { return -1; }
  int scanRequestLength() const override { return 0; }
  int isStopAck(const uint8_t*, int) const override { return PROTOCOL_UNSUPPORTED; }
  int buildStopRequest(uint8_t*, int) const override { return -1; }
  int stopRequestLength() const override { return 0; }
  bool reorderSegments(float* values, int count, const uint8_t* order, int segments) const override;

 private:
  struct Calibration {
    bool scanFlag = false;
    bool spectrumFlag = false;
    bool powerFlag = false;
    bool spectrumFlagCopy = false;
    float spectrumSlope = 1.0f;
    float spectrumOffset = 1.0f;
    float spectrumFloor = -100.0f;
    float powerSlope = 1.0f;
    float powerOffset = 0.0f;
    uint8_t sequence = 0;
    std::array<float, TIMEBASE_TABLE_SIZE> timebase = TIMEBASE_TABLE;
    float amplitudeScaleStep = 1.0f;
  };

  mutable std::mutex mutex_;
  Calibration cal_;
};

}  // namespace tarvo
