// Accessory frames for the pipeline tests and benchmarks, byte for byte in the layouts the
// accessories send (discover responses, acknowledgements, sweep segments, power segments,
// SSID scan results with their record checksums).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::testing {

using Bytes = std::vector<uint8_t>;

struct DiscoverSpec {
  int generation = 6;        // 2, 6 or 7
  bool spectrum = true;      // gen 1/2: byte 8; dual-band: 2.4 GHz (byte 9)
  bool power = true;         // gen 1/2: byte 9
  bool scan = true;          // dual-band: byte 8
  bool band2 = true;         // dual-band: 5 GHz (byte 10)
  uint8_t floorCode = 0;     // rf (dual-band: band 1)
  uint8_t floorCode2 = 0;    // dual-band band 2
  float slope = 0.5f;        // spectrum slope (ignored by the first generation)
  float offset = -120.0f;    // spectrum offset (ignored by the first generation)
  float slope2 = 0.5f;       // dual-band band 2
  float offset2 = -125.0f;
  float powerSlope = 0.25f;
  float powerOffset = -60.0f;
};

Bytes discoverFrame(const DiscoverSpec& spec);
inline Bytes ackFrame() { return {0xAA, 0x40, 0x00}; }
inline Bytes stopAckFrame() { return {0xAA, 0xC0, 0x00, 0x00}; }

// Codes per spectrum frame: 50 (gen 1), 256 (gen 2, dual-band 2.4 GHz), 512 (dual-band 5 GHz).
int spectrumCodesPerFrame(int generation, int band);
// A sweep segment; `codes` is padded with zeros or cut to the frame's size.
Bytes spectrumFrame(int generation, int band, int segment, const std::vector<uint8_t>& codes);
// Codes per power frame: 40 (gen 1), 1000 (gen 2).
int powerCodesPerFrame(int generation);
Bytes powerFrame(int generation, int segment, bool triggered, const std::vector<uint8_t>& codes);

struct ScanRecord {
  uint8_t channel = 6;
  int16_t rssi = -50;
  std::array<uint8_t, 6> bssid{};
  std::string ssid;
  bool band5 = false;
};
// A scan-result frame; every record's 64 bytes sum to 0 modulo 256 (byte 0 balances them).
Bytes scanFrame(const std::vector<ScanRecord>& records);
// Records with distinct BSSIDs (index in the last two bytes), channels 1 ... 11.
std::vector<ScanRecord> scanRecords(int count, int firstIndex = 0);

Bytes concat(std::initializer_list<Bytes> parts);

}  // namespace tarvo::testing
