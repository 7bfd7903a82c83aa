// A stand-in decoder for the three accessory generations: the framing rules and frame layouts
// of the real ones, with just enough decoding to fill DeviceInfo, sweeps, power samples and
// scan records (no on-screen log, simplified scan fields). Used until the generation decoders
// are available to the pipeline, and to count what the controller asks a decoder to build.
#pragma once

#include <memory>

#include "acquisition/protocol/AccessoryProtocol.h"

namespace tarvo::testing {

class FakeProtocol : public AccessoryProtocol {
 public:
  explicit FakeProtocol(int generation);

  int frameLength(const uint8_t* bytes, int available) const override;
  bool repeatsRequests() const override { return generation_ == 2; }
  bool canScan() const override { return scanFlag_; }
  bool canSweep() const override { return sweepFlag_; }
  bool canCapturePower() const override { return powerFlag_; }
  int packetsPerSweep(int) const override { return generation_ == 2 ? 2 : 1; }
  int packetsPerTrace() const override { return generation_ == 2 ? 6 : 1; }
  int decodeDiscover(const uint8_t* bytes, int length, DeviceInfo* out) override;
  int buildConfigure(uint8_t* out, int capacity, const AnalyzerModel* model) override;
  int configureLength() const override;
  int decodePower(const uint8_t* bytes, int length, float* out, int capacity, int* count, int* segment,
                  bool* triggered) override;
  int buildPowerRequest(uint8_t* out, int capacity) const override;
  int powerRequestLength() const override { return generation_ == 7 ? 0 : 3; }
  int decodeSpectrum(const uint8_t* bytes, int length, float* out, int capacity, int* count, int* band,
                     int* segment) override;
  int decodeScan(const uint8_t* bytes, int length, std::unique_ptr<AccessPointBatch>* out) override;
  int buildScanRequest(uint8_t* out, int capacity) const override;
  int scanRequestLength() const override { return generation_ == 2 ? 0 : 3; }
  int isStopAck(const uint8_t* bytes, int length) const override;
  int buildStopRequest(uint8_t* out, int capacity) const override;
  int stopRequestLength() const override { return generation_ == 2 ? 0 : 3; }
  bool reorderSegments(float* values, int count, const uint8_t* order, int segments) const override;

 private:
  int generation_;
  bool scanFlag_, sweepFlag_ = false, powerFlag_ = false;
  float slope_[2] = {1.0f, 1.0f}, offset_[2] = {0.0f, 0.0f}, floor_[2] = {-100.0f, -100.0f};
  float powerSlope_ = 1.0f, powerOffset_ = 0.0f;
  uint8_t sequence_ = 0;
};

// Decoder factory over FakeProtocol (null for unknown generations).
std::unique_ptr<AccessoryProtocol> createFakeDecoder(int generationCode);

}  // namespace tarvo::testing
