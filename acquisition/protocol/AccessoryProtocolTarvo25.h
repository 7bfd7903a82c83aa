// AccessoryProtocolTarvo25: the decoder of dual-band accessories (generation code 7).
//
// A 2.4 GHz plus 5 GHz accessory without power mode. Each band has its own calibration pair and
// floor; a sweep frame says in byte 2 which band it carries. SSID scans cover either band with a
// richer record than the second generation (detail/ScanFrames.h), at most 20 records a frame.
//
// Discover response (56 bytes, type 3):
//   0 AA | 1 type 3 | 2 generation 7 | 3, 4 infoByte1, infoByte2 | 5..7 -
//   8 SSID scan capability | 9 2.4 GHz capability | 10 5 GHz capability | 11 -
//   12..23 accessory identity (deviceIdText)
//   24 band-1 slope | 28 band-1 offset (floats) | 32 ignored | 36 band-1 floor code | 37..39 -
//   40 band-2 slope | 44 band-2 offset (floats) | 48 ignored | 52 band-2 floor code | 53..55 -
//
// Sweep frame (type 5): byte 2 = 0: 2.4 GHz, 260 bytes, 256 bins from byte 4, band number 1;
// byte 2 = 1: 5 GHz, 516 bytes, 512 bins from byte 4, band number 2; other values are
// malformed. A frame of exactly 4 bytes with (byte 1 & 7) = 1 is an empty sweep (zero bins).
// Segment = byte 1 & 0x0F. Stop acknowledgement: 4 bytes, type 6.
//
// Configure command (8 bytes): AA 08 02 53, sequence, 1 for the 5 GHz band else 0, 00 00.
//
// Demo playback: while no accessory is connected, the two recorded demo access points
// (E0:91:F5:76:83:22 and :23) are shown as "Free WiFi". The connection state is read from the
// model given at construction (the application's model when none is given).
#pragma once

#include <mutex>

#include "acquisition/protocol/AccessoryProtocol.h"

namespace tarvo {

class AccessoryProtocolTarvo25 final : public AccessoryProtocol {
 public:
  static constexpr int DISCOVER_LENGTH = 56;
  static constexpr int BAND1_SPECTRUM_LENGTH = 260;
  static constexpr int BAND1_SPECTRUM_BINS = 256;
  static constexpr int BAND2_SPECTRUM_LENGTH = 516;
  static constexpr int BAND2_SPECTRUM_BINS = 512;
  static constexpr int CONFIGURE_LENGTH = 8;
  static constexpr int DEVICE_ID_BYTES = 12;

  explicit AccessoryProtocolTarvo25(const AnalyzerModel* model = nullptr);
  ~AccessoryProtocolTarvo25() override;

  int frameLength(const uint8_t* bytes, int available) const override;
  bool repeatsRequests() const override { return false; }
  bool canScan() const override;
  bool canSweep() const override;
  bool canCapturePower() const override { return false; }
  int packetsPerSweep(int) const override { return 1; }
  int packetsPerTrace() const override { return 1; }
  int decodeDiscover(const uint8_t* bytes, int length, DeviceInfo* out) override;
  int buildConfigure(uint8_t* out, int capacity, const AnalyzerModel* model) override;
  int configureLength() const override { return CONFIGURE_LENGTH; }
  int decodePower(const uint8_t* bytes, int length, float* out, int capacity, int* count, int* segment,
                  bool* triggered) override;
  int buildPowerRequest(uint8_t*, int) const override { return -1; }
  int powerRequestLength() const override { return 0; }
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
  struct BandCalibration {
    float slope = 1.0f;
    float offset = 1.0f;
    float floorDbm = -100.0f;
  };
  struct Calibration {
    bool scanFlag = true;
    bool anyBandFlag = false;
    bool powerFlag = false;
    bool band1Flag = false;
    bool band2Flag = false;
    BandCalibration band1;
    BandCalibration band2;
    uint8_t sequence = 0;
  };

  const AnalyzerModel* model_;
  mutable std::mutex mutex_;
  Calibration cal_;
};

}  // namespace tarvo
