#include "tools/sim/FrameEncoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tarvo::sim {

namespace {
constexpr uint8_t SYNC = 0xAA;
constexpr uint8_t TYPE_POWER = 0x20;
constexpr uint8_t TYPE_ACK = 0x40;
constexpr uint8_t TYPE_DISCOVER = 0x60;
constexpr uint8_t TYPE_SPECTRUM = 0xA0;
constexpr uint8_t TYPE_STOP_ACK = 0xC0;
constexpr uint8_t TYPE_SCAN = 0xE0;
constexpr uint8_t TRIGGERED = 0x10;
constexpr int RECORD_BYTES = 64;
}  // namespace

void putU16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}

void putU32(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v >> 24);
  b[at + 1] = static_cast<uint8_t>(v >> 16);
  b[at + 2] = static_cast<uint8_t>(v >> 8);
  b[at + 3] = static_cast<uint8_t>(v);
}

void putF32(Bytes& b, size_t at, float v) { putU32(b, at, std::bit_cast<uint32_t>(v)); }

Bytes encodeDiscover(const AccessoryProfile& p) {
  Bytes b(p.discoverLength(), 0);
  b[0] = SYNC;
  b[1] = TYPE_DISCOVER;
  b[2] = p.generation;
  b[3] = p.infoByte1;
  b[4] = p.infoByte2;
  switch (p.generation) {
    case GENERATION_TARVO:
      b[6] = p.infoByte4;
      b[7] = p.infoByte5;
      b[8] = p.spectrumCapable ? 1 : 0;
      b[9] = p.powerCapable ? 1 : 0;
      b[11] = p.infoByte6;
      for (int i = 0; i < 8; ++i) putF32(b, 12 + 4 * i, p.internalAttenuations[i]);
      putF32(b, 44, p.sentPower.slope);
      putF32(b, 48, p.sentPower.offset);
      putF32(b, 52, p.sentSpectrum[0].slope);
      putF32(b, 56, p.sentSpectrum[0].offset);
      putU32(b, 60, p.gen1ExtraWord);
      b[64] = p.floorCode[0];
      break;
    case GENERATION_TARVO25:
      b[8] = p.scanCapable ? 1 : 0;
      b[9] = p.band1Capable ? 1 : 0;
      b[10] = p.band2Capable ? 1 : 0;
      for (size_t i = 0; i < 12 && i < p.identity.size(); ++i) b[12 + i] = p.identity[i];
      putF32(b, 24, p.sentSpectrum[0].slope);
      putF32(b, 28, p.sentSpectrum[0].offset);
      putF32(b, 32, p.ignoredWord);
      b[36] = p.floorCode[0];
      putF32(b, 40, p.sentSpectrum[1].slope);
      putF32(b, 44, p.sentSpectrum[1].offset);
      putF32(b, 48, p.ignoredWord);
      b[52] = p.floorCode[1];
      break;
    default:  // second generation
      b[6] = p.infoByte4;
      b[7] = p.infoByte5;
      b[8] = p.spectrumCapable ? 1 : 0;
      b[9] = p.powerCapable ? 1 : 0;
      b[15] = p.infoByte6;
      for (size_t i = 0; i < 17 && i < p.identity.size(); ++i) b[16 + i] = p.identity[i];
      putF32(b, 36, p.sentPower.slope);
      putF32(b, 40, p.sentPower.offset);
      putF32(b, 44, p.sentSpectrum[0].slope);
      putF32(b, 48, p.sentSpectrum[0].offset);
      putF32(b, 52, p.ignoredWord);
      b[56] = p.floorCode[0];
      break;
  }
  return b;
}

Bytes encodeConfigureAck(uint8_t sequence) { return {SYNC, TYPE_ACK, sequence}; }

Bytes encodeStopAck() { return {SYNC, TYPE_STOP_ACK, 0, 0}; }

Bytes encodeSpectrumFrame(const AccessoryProfile& p, int band, int segment, const uint8_t* codes, int count) {
  const int length = p.spectrumFrameLength(band);
  if (length == 0) return {};
  Bytes b(length, 0);
  b[0] = SYNC;
  b[1] = static_cast<uint8_t>(TYPE_SPECTRUM | (segment & 0x0F));
  const int first = p.generation == GENERATION_TARVO ? 2 : 4;
  if (p.generation == GENERATION_TARVO25) b[2] = band == BAND_5G ? 1 : 0;
  const int room = length - first;
  if (codes) std::memcpy(&b[first], codes, std::min(room, std::max(count, 0)));
  return b;
}

Bytes encodeEmptySweep() { return {SYNC, static_cast<uint8_t>(TYPE_SPECTRUM | 1), 0, 0}; }

std::vector<Bytes> encodeSweep(const AccessoryProfile& p, int band, const std::vector<float>& dbm) {
  const int bins = p.binsPerSweep(band);
  if (bins == 0) return {};
  const SlopeOffset cal = p.hostSpectrum(band);
  const float floorDbm = p.hostFloorDbm(band);
  std::vector<uint8_t> codes(bins);
  for (int i = 0; i < bins; ++i) codes[i] = amplitudeCode(i < static_cast<int>(dbm.size()) ? dbm[i] : floorDbm, cal);

  const int segments = p.packetsPerSweep();
  std::vector<Bytes> frames;
  if (segments == 1) {
    frames.push_back(encodeSpectrumFrame(p, band, 0, codes.data(), bins));
    return frames;
  }
  // Interleaved: segment s carries bins s, s + segments, ...
  const int perSegment = bins / segments;
  std::vector<uint8_t> part(perSegment);
  for (int s = 0; s < segments; ++s) {
    for (int k = 0; k < perSegment; ++k) part[k] = codes[s + segments * k];
    frames.push_back(encodeSpectrumFrame(p, band, s, part.data(), perSegment));
  }
  return frames;
}

Bytes encodePowerFrame(const AccessoryProfile& p, int segment, bool triggered, const uint8_t* codes, int count) {
  const int length = p.powerFrameLength();
  if (length == 0) return {};
  Bytes b(length, 0);
  b[0] = SYNC;
  b[1] = static_cast<uint8_t>(TYPE_POWER | (triggered ? TRIGGERED : 0) | (segment & 0x0F));
  const int first = p.generation == GENERATION_TARVO ? 2 : 4;
  const int room = p.samplesPerPowerFrame();
  if (codes) std::memcpy(&b[first], codes, std::min(room, std::max(count, 0)));
  return b;
}

std::vector<Bytes> encodeCapture(const AccessoryProfile& p, const std::vector<float>& dbm, bool triggered) {
  const int samples = p.samplesPerTrace();
  if (samples == 0) return {};
  const SlopeOffset cal = p.hostPower();
  std::vector<uint8_t> codes(samples);
  for (int i = 0; i < samples; ++i) codes[i] = amplitudeCode(i < static_cast<int>(dbm.size()) ? dbm[i] : cal.offset, cal);

  const int segments = p.packetsPerTrace();
  std::vector<Bytes> frames;
  const int perSegment = samples / segments;
  std::vector<uint8_t> part(perSegment);
  for (int s = 0; s < segments; ++s) {
    for (int k = 0; k < perSegment; ++k) part[k] = codes[s + segments * k];
    frames.push_back(encodePowerFrame(p, s, triggered, part.data(), perSegment));
  }
  return frames;
}

uint16_t widthWord(int bandwidthMHz, int secondaryChannel) {
  uint16_t w = 0;
  if (bandwidthMHz == 10) w |= 0x0400;
  if (bandwidthMHz == 20) w |= 0x0800;
  if (bandwidthMHz == 40) w |= 0x0C00;
  if (secondaryChannel == 1) w |= 0x0100;
  if (secondaryChannel == 2) w |= 0x0200;
  return w;
}

uint32_t securityFlags(int security, int cipher) {
  uint32_t f = 0;
  switch (security) {
    case SECURITY_OPEN: return 0;
    case SECURITY_WPS: f = 0x100000; break;
    case SECURITY_WPA: f = 0x200000; break;
    case SECURITY_WPA2: f = 0x400000; break;
    case SECURITY_WEP: f = 0x1; break;
    default: return 0xFFFFFFFFu;
  }
  if (cipher == 1 || cipher == 3) f |= 0x2;
  if (cipher == 2 || cipher == 3) f |= 0x4;
  return f;
}

std::array<uint8_t, 64> encodeScanRecord(const ScanRecord& r) {
  Bytes b(RECORD_BYTES, 0);
  b[1] = r.channel;
  putU16(b, 2, static_cast<uint16_t>(r.rssiDbm));
  std::copy(r.bssid.begin(), r.bssid.end(), b.begin() + 4);
  putU16(b, 10, r.widthWord);
  const size_t n = std::min<size_t>(r.ssid.size(), SSID_MAX_LENGTH);
  b[12] = static_cast<uint8_t>(n);
  std::memcpy(&b[13], r.ssid.data(), n);
  b[45] = r.phyMode;
  b[46] = r.bandCode;
  b[47] = r.kindCode;
  b[50] = r.altA;
  b[51] = r.altB;
  putU32(b, 52, r.securityFlags);
  unsigned sum = 0;
  for (int i = 1; i < RECORD_BYTES; ++i) sum += b[i];
  b[0] = static_cast<uint8_t>((256 - (sum & 0xFF)) & 0xFF);
  std::array<uint8_t, 64> out{};
  std::copy(b.begin(), b.end(), out.begin());
  return out;
}

Bytes encodeScanFrame(const std::vector<ScanRecord>& records) {
  const size_t n = std::min<size_t>(records.size(), 255);
  Bytes b(4 + RECORD_BYTES * n, 0);
  b[0] = SYNC;
  b[1] = TYPE_SCAN;
  b[2] = static_cast<uint8_t>(n);
  for (size_t i = 0; i < n; ++i) {
    const auto rec = encodeScanRecord(records[i]);
    std::copy(rec.begin(), rec.end(), b.begin() + 4 + RECORD_BYTES * i);
  }
  return b;
}

std::vector<Bytes> encodeScanCycle(const std::vector<ScanRecord>& records) {
  std::vector<Bytes> frames;
  const size_t n = records.size();
  if (n < SCAN_FRAME_MAX_RECORDS) {
    frames.push_back(encodeScanFrame(records));
    return frames;
  }
  frames.push_back(encodeScanFrame({records.begin(), records.begin() + SCAN_FRAME_MAX_RECORDS}));
  const size_t rest = std::min<size_t>(n - SCAN_FRAME_MAX_RECORDS, SCAN_FRAME_MAX_RECORDS);
  frames.push_back(encodeScanFrame({records.begin() + SCAN_FRAME_MAX_RECORDS,
                                    records.begin() + SCAN_FRAME_MAX_RECORDS + rest}));
  return frames;
}

}  // namespace tarvo::sim
