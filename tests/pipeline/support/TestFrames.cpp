#include "TestFrames.h"

#include <algorithm>
#include <cstring>

namespace tarvo::testing {

namespace {
void putFloat(Bytes& b, size_t at, float v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  b[at] = static_cast<uint8_t>(u >> 24);
  b[at + 1] = static_cast<uint8_t>(u >> 16);
  b[at + 2] = static_cast<uint8_t>(u >> 8);
  b[at + 3] = static_cast<uint8_t>(u);
}
}  // namespace

Bytes discoverFrame(const DiscoverSpec& s) {
  Bytes b;
  switch (s.generation) {
    case 2:
      b.assign(68, 0);
      b[8] = s.spectrum;
      b[9] = s.power;
      for (int i = 0; i < 8; ++i) putFloat(b, 12 + 4 * i, 4.0f * i);
      putFloat(b, 44, s.powerSlope);
      putFloat(b, 48, s.powerOffset);
      putFloat(b, 52, s.slope);
      putFloat(b, 56, s.offset);
      b[64] = s.floorCode;
      break;
    case 6:
      b.assign(60, 0);
      b[8] = s.spectrum;
      b[9] = s.power;
      for (int i = 0; i < 17; ++i) b[16 + i] = static_cast<uint8_t>(0x10 + i);
      putFloat(b, 36, s.powerSlope);
      putFloat(b, 40, s.powerOffset);
      putFloat(b, 44, s.slope);
      putFloat(b, 48, s.offset);
      b[56] = s.floorCode;
      break;
    default:
      b.assign(56, 0);
      b[8] = s.scan;
      b[9] = s.spectrum;
      b[10] = s.band2;
      for (int i = 0; i < 12; ++i) b[12 + i] = static_cast<uint8_t>(0x20 + i);
      putFloat(b, 24, s.slope);
      putFloat(b, 28, s.offset);
      b[36] = s.floorCode;
      putFloat(b, 40, s.slope2);
      putFloat(b, 44, s.offset2);
      b[52] = s.floorCode2;
      break;
  }
  b[0] = 0xAA;
  b[1] = 0x60;
  b[2] = static_cast<uint8_t>(s.generation);
  return b;
}

int spectrumCodesPerFrame(int generation, int band) {
  if (generation == 2) return 50;
  return (generation == 7 && band == 1) ? 512 : 256;
}

Bytes spectrumFrame(int generation, int band, int segment, const std::vector<uint8_t>& codes) {
  const int n = spectrumCodesPerFrame(generation, band);
  const int start = generation == 2 ? 2 : 4;
  Bytes b(static_cast<size_t>(start + n), 0);
  b[0] = 0xAA;
  b[1] = static_cast<uint8_t>(0xA0 | (segment & 0x0F));
  if (generation == 7) b[2] = static_cast<uint8_t>(band);
  std::copy_n(codes.begin(), std::min<size_t>(codes.size(), n), b.begin() + start);
  return b;
}

int powerCodesPerFrame(int generation) { return generation == 2 ? 40 : 1000; }

Bytes powerFrame(int generation, int segment, bool triggered, const std::vector<uint8_t>& codes) {
  const int n = powerCodesPerFrame(generation);
  const int start = generation == 2 ? 2 : 4;
  Bytes b(generation == 2 ? 62 : 1254, 0);
  b[0] = 0xAA;
  b[1] = static_cast<uint8_t>(0x20 | (triggered ? 0x10 : 0) | (segment & 0x0F));
  std::copy_n(codes.begin(), std::min<size_t>(codes.size(), n), b.begin() + start);
  return b;
}

Bytes scanFrame(const std::vector<ScanRecord>& records) {
  Bytes b(4 + 64 * records.size(), 0);
  b[0] = 0xAA;
  b[1] = 0xE0;
  b[2] = static_cast<uint8_t>(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    uint8_t* r = b.data() + 4 + 64 * i;
    const ScanRecord& s = records[i];
    r[1] = s.channel;
    r[2] = static_cast<uint8_t>(static_cast<uint16_t>(s.rssi) >> 8);
    r[3] = static_cast<uint8_t>(static_cast<uint16_t>(s.rssi));
    std::copy(s.bssid.begin(), s.bssid.end(), r + 4);
    r[10] = 0x08;  // 20 MHz
    r[12] = static_cast<uint8_t>(std::min<size_t>(s.ssid.size(), 32));
    std::copy_n(s.ssid.begin(), r[12], r + 13);
    r[45] = 0x04;
    r[46] = s.band5 ? 0 : 1;
    r[47] = 0;
    r[55] = 0x02;
    unsigned sum = 0;
    for (int j = 1; j < 64; ++j) sum += r[j];
    r[0] = static_cast<uint8_t>(-static_cast<int>(sum % 256));
  }
  return b;
}

std::vector<ScanRecord> scanRecords(int count, int firstIndex) {
  std::vector<ScanRecord> out;
  for (int i = 0; i < count; ++i) {
    ScanRecord r;
    const int index = firstIndex + i;
    r.channel = static_cast<uint8_t>(1 + index % 11);
    r.rssi = static_cast<int16_t>(-40 - index % 50);
    r.bssid = {0x02, 0x11, 0x22, 0x33, static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index)};
    r.ssid = "net" + std::to_string(index);
    out.push_back(r);
  }
  return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace tarvo::testing
