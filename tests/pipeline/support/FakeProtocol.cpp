#include "FakeProtocol.h"

#include <cstring>

#include "core/AnalyzerModel.h"

namespace tarvo::testing {

namespace {
float getFloat(const uint8_t* b) {
  const uint32_t u = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
  float v;
  std::memcpy(&v, &u, 4);
  return v;
}
int checkFrame(const uint8_t* bytes, int length, int type) {
  if (!bytes) return PROTOCOL_NO_BUFFER;
  if (length < 2) return PROTOCOL_TOO_SHORT;
  if (bytes[0] != FRAME_SYNC) return PROTOCOL_INCOMPLETE;
  if (length < 3) return PROTOCOL_TOO_SHORT;
  if (frameTypeOf(bytes[1]) != type) return PROTOCOL_WRONG_TYPE;
  return PROTOCOL_OK;
}
}  // namespace

FakeProtocol::FakeProtocol(int generation) : generation_(generation), scanFlag_(generation != 2) {
  if (generation == 2) offset_[0] = offset_[1] = 1.0f;
}

std::unique_ptr<AccessoryProtocol> createFakeDecoder(int generationCode) {
  if (!isSupportedGeneration(generationCode)) return nullptr;
  return std::make_unique<FakeProtocol>(generationCode);
}

int FakeProtocol::frameLength(const uint8_t* bytes, int available) const {
  return frameLengthFor(generation_, bytes, available);
}

int FakeProtocol::decodeDiscover(const uint8_t* b, int length, DeviceInfo* out) {
  if (const int r = checkFrame(b, length, FRAME_DISCOVER); r != PROTOCOL_OK) return r;
  if (b[2] != generation_) return PROTOCOL_UNSUPPORTED;
  const int need = generation_ == 2 ? 68 : generation_ == 6 ? 60 : 56;
  if (length < need) return PROTOCOL_TOO_SHORT;
  DeviceInfo info;
  info.generationCode = static_cast<uint8_t>(generation_);
  uint8_t rf[2] = {0, 0};
  if (generation_ == 2) {
    sweepFlag_ = b[8] != 0;
    powerFlag_ = b[9] != 0;
    powerSlope_ = getFloat(b + 44);
    powerOffset_ = getFloat(b + 48);
    slope_[0] = 45.0f / 124.0f;
    offset_[0] = -100.0f;
    rf[0] = b[64];
  } else if (generation_ == 6) {
    sweepFlag_ = b[8] != 0;
    powerFlag_ = b[9] != 0;
    powerSlope_ = getFloat(b + 36);
    powerOffset_ = getFloat(b + 40) - 5.0f;
    slope_[0] = getFloat(b + 44);
    offset_[0] = getFloat(b + 48);
    rf[0] = b[56];
  } else {
    scanFlag_ = b[8] != 0;
    sweepFlag_ = b[9] != 0 || b[10] != 0;
    slope_[0] = getFloat(b + 24);
    offset_[0] = getFloat(b + 28);
    rf[0] = b[36];
    slope_[1] = getFloat(b + 40);
    offset_[1] = getFloat(b + 44);
    rf[1] = b[52];
  }
  for (int i = 0; i < 2; ++i) floor_[i] = rf[i] * slope_[i] + offset_[i];
  if (!out) return PROTOCOL_OK;

  const bool laterGeneration = generation_ != 2;
  const bool dual = generation_ == 7;
  info.band1SpectrumCapable = dual ? b[9] != 0 : sweepFlag_;
  info.band2SpectrumCapable = dual && b[10] != 0;
  info.band1ScanCapable = generation_ == 6 ? sweepFlag_ : (dual && scanFlag_ && b[9] != 0);
  info.band2ScanCapable = dual && scanFlag_ && b[10] != 0;
  info.powerCapable = powerFlag_;
  info.internalAttenuatorAvailable = generation_ == 2;
  info.fixedScanCycle = !dual;
  info.laterGeneration = laterGeneration;
  info.deviceIdText = generation_ == 2 ? "0" : hexText(b + (dual ? 12 : 16), dual ? 12 : 17);
  if (generation_ == 2) {
    for (int i = 0; i < 8; ++i) info.internalAttenuations[i] = getFloat(b + 12 + 4 * i);
    info.internalAttenuationCount = 8;
  }
  info.powerPacketsPerTrace = generation_ == 2 ? 6 : 1;
  info.band1PacketsPerSweep = generation_ == 2 ? 2 : 1;
  info.band2PacketsPerSweep = generation_ == 2 ? 0 : 1;
  info.gen1Marker = generation_ == 2;
  info.band1BinsPerSweep = generation_ == 2 ? 100 : 256;
  info.band2BinsPerSweep = dual ? 512 : 0;
  info.powerSamplesPerTrace = generation_ == 2 ? 240 : generation_ == 6 ? 1000 : 0;
  info.band1BinsShown = generation_ == 2 ? 96 : 245;
  info.band2BinsShown = dual ? 512 : 0;
  info.band1AmplitudeLevels = 256u - rf[0];
  info.band2AmplitudeLevels = dual ? 256u - rf[1] : 256u;
  info.band1SweepPeriod = generation_ == 2 ? 0.1f : generation_ == 6 ? 0.2f : 0.25f;
  info.band2SweepPeriod = generation_ == 2 ? 0.1f : generation_ == 6 ? 0.2f : 1.25f;
  info.powerPeriod = 0.1f;
  info.demoScanDelay = dual ? 0.0f : 110.0f;
  info.demoScanInterval = dual ? 4.0f : 20.0f;
  if (!dual) {
    info.timebaseTable.assign(TIMEBASE_TABLE.begin(), TIMEBASE_TABLE.end());
    info.rollTimebaseCount = info.rollTimebaseCode = 4;
    info.amplitudeScaleTable = {1.0f};
    const DbmRange p = powerRangeFromCalibration(powerSlope_, powerOffset_);
    info.powerMinDbm = powerFlag_ ? p.minDbm : notAvailable();
    info.powerMaxDbm = powerFlag_ ? p.maxDbm : notAvailable();
  } else {
    info.rollTimebaseCount = info.rollTimebaseCode = -1;
    info.powerMinDbm = info.powerMaxDbm = notAvailable();
  }
  const DbmRange r1 = spectrumRangeFromCalibration(slope_[0], offset_[0], floor_[0]);
  const DbmRange r2 = spectrumRangeFromCalibration(slope_[1], offset_[1], floor_[1]);
  const bool band1 = info.band1SpectrumCapable;
  info.band1MinDbm = band1 ? r1.minDbm : notAvailable();
  info.band1MaxDbm = band1 ? r1.maxDbm : notAvailable();
  info.band2MinDbm = info.band2SpectrumCapable ? r2.minDbm : notAvailable();
  info.band2MaxDbm = info.band2SpectrumCapable ? r2.maxDbm : notAvailable();
  *out = info;
  return PROTOCOL_OK;
}

int FakeProtocol::configureLength() const { return generation_ == 2 ? 32 : generation_ == 6 ? 20 : 8; }

int FakeProtocol::buildConfigure(uint8_t* out, int capacity, const AnalyzerModel* model) {
  const int n = configureLength();
  if (!out || !model || capacity < n) return -1;
  std::memset(out, 0, n);
  out[0] = FRAME_SYNC;
  out[1] = static_cast<uint8_t>(n);
  out[2] = COMMAND_CONFIGURE;
  out[3] = CONFIGURE_MARKER;
  ++sequence_;
  out[generation_ == 2 ? 22 : 4] = sequence_;
  if (generation_ == 7) out[5] = model->currentBand() == BAND_5G ? 1 : 0;
  if (generation_ == 2) out[23] = model->isSpectrumMode() ? 0 : 1;
  return n;
}

int FakeProtocol::decodePower(const uint8_t* b, int length, float* out, int capacity, int* count, int* segment,
                              bool* triggered) {
  if (count) *count = 0;
  if (segment) *segment = 255;
  if (generation_ == 7) return PROTOCOL_UNSUPPORTED;
  if (const int r = checkFrame(b, length, FRAME_POWER); r != PROTOCOL_OK) return r;
  const int n = generation_ == 2 ? 40 : 1000;
  const int start = generation_ == 2 ? 2 : 4;
  if (length < (generation_ == 2 ? 62 : 1254)) return PROTOCOL_TOO_SHORT;
  if (!out) return PROTOCOL_NO_BUFFER;
  if (capacity < n) return PROTOCOL_TOO_SHORT;
  for (int i = 0; i < n; ++i) out[i] = b[start + i] * powerSlope_ + powerOffset_;
  if (count) *count = n;
  if (segment) *segment = segmentIndexOf(b[1]);
  if (triggered) *triggered = triggeredFlagOf(b[1]);
  return PROTOCOL_OK;
}

int FakeProtocol::buildPowerRequest(uint8_t* out, int capacity) const {
  if (generation_ == 7) return -1;
  return buildShortCommand(COMMAND_POWER, out, capacity);
}

int FakeProtocol::decodeSpectrum(const uint8_t* b, int length, float* out, int capacity, int* count, int* band,
                                 int* segment) {
  if (count) *count = 0;
  if (segment) *segment = 255;
  if (const int r = checkFrame(b, length, FRAME_SPECTRUM); r != PROTOCOL_OK) return r;
  int n, start = 4, bandIndex = 0;
  if (generation_ == 2) {
    n = 50;
    start = 2;
    if (length < 52) return PROTOCOL_TOO_SHORT;
  } else if (generation_ == 6) {
    n = 256;
    if (length < 260) return PROTOCOL_TOO_SHORT;
  } else {
    if (length == 4 && (b[1] & 7) != 0) {
      if (band) *band = 1;
      if (segment) *segment = segmentIndexOf(b[1]);
      return PROTOCOL_OK;
    }
    if (b[2] > 1) return PROTOCOL_UNSUPPORTED;
    bandIndex = b[2];
    n = bandIndex ? 512 : 256;
    if (length < 4 + n) return PROTOCOL_TOO_SHORT;
  }
  if (!out) return PROTOCOL_NO_BUFFER;
  if (capacity < n) return PROTOCOL_TOO_SHORT;
  for (int i = 0; i < n; ++i) {
    const float v = b[start + i] * slope_[bandIndex] + offset_[bandIndex];
    out[i] = v < floor_[bandIndex] ? floor_[bandIndex] : v;
  }
  if (count) *count = n;
  if (band) *band = bandIndex + 1;
  if (segment) *segment = segmentIndexOf(b[1]);
  return PROTOCOL_OK;
}

int FakeProtocol::decodeScan(const uint8_t* b, int length, std::unique_ptr<AccessPointBatch>* out) {
  if (generation_ == 2) return PROTOCOL_UNSUPPORTED;
  if (const int r = checkFrame(b, length, FRAME_SCAN); r != PROTOCOL_OK) return r;
  const int n = b[2];
  if (length < 4 + 64 * n) return PROTOCOL_TOO_SHORT;
  if (out) out->reset();
  for (int i = 0; i < n; ++i) {
    const uint8_t* r = b + 4 + 64 * i;
    unsigned sum = 0;
    for (int j = 0; j < 64; ++j) sum += r[j];
    if (sum % 256 != 0) continue;
    auto ap = std::make_unique<AccessPoint>();
    ap->channel = r[1];
    ap->rssi = static_cast<int16_t>((r[2] << 8) | r[3]);
    std::memcpy(ap->bssid.data(), r + 4, 6);
    ap->ssidLength = r[12] > 32 ? 32 : r[12];
    std::memcpy(ap->ssid.data(), r + 13, 32);
    ap->band = r[46] == 0 ? 1 : 0;
    if (out) {
      if (!*out) *out = std::make_unique<AccessPointBatch>();
      (*out)->push_back(std::move(ap));
    }
  }
  return PROTOCOL_OK;
}

int FakeProtocol::buildScanRequest(uint8_t* out, int capacity) const {
  if (generation_ == 2) return -1;
  return buildShortCommand(COMMAND_SCAN, out, capacity);
}

int FakeProtocol::isStopAck(const uint8_t* b, int length) const {
  if (generation_ == 2) return PROTOCOL_UNSUPPORTED;
  if (const int r = checkFrame(b, length, FRAME_STOP_ACK); r != PROTOCOL_OK) return r;
  return length >= 4 ? PROTOCOL_OK : PROTOCOL_TOO_SHORT;
}

int FakeProtocol::buildStopRequest(uint8_t* out, int capacity) const {
  if (generation_ == 2) return -1;
  return buildShortCommand(COMMAND_STOP, out, capacity);
}

bool FakeProtocol::reorderSegments(float* values, int count, const uint8_t* order, int segments) const {
  return generation_ == 2 ? reorderInterleaved(values, count, order, segments)
                          : reorderBlocks(values, count, order, segments);
}

}  // namespace tarvo::testing
