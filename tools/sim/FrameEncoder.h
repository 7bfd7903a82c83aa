// FrameEncoder: the accessory's side of the wire, byte for byte.
//
// Frames the accessory sends (all start with 0xAA; frame type = byte 1 >> 5):
//
//   discover response, type 3 (byte 1 = 0x60), byte 2 = generation code
//     first generation, 68 bytes: 3,4 info | 6,7 info | 8 spectrum cap. | 9 power cap. |
//       11 info | 12..43 eight BE float32 attenuator steps | 44 power slope | 48 power offset |
//       52 spectrum slope | 56 spectrum offset (both ignored by the host) | 60 BE uint32 extra |
//       64 floor code
//     second generation, 60 bytes: 3,4 info | 6,7 info | 8 spectrum cap. | 9 power cap. |
//       15 info | 16..32 identity | 36 power slope | 40 power offset (host subtracts 5 dB) |
//       44 spectrum slope | 48 spectrum offset | 52 ignored | 56 floor code
//     dual-band, 56 bytes: 3,4 info | 8 scan cap. | 9 2.4 GHz cap. | 10 5 GHz cap. |
//       12..23 identity | 24 slope | 28 offset | 32 ignored | 36 floor code (2.4 GHz) |
//       40 slope | 44 offset | 48 ignored | 52 floor code (5 GHz)
//   configure acknowledgement, type 2: AA 40 <sequence of the acknowledged command>
//   stop acknowledgement, type 6: AA C0 00 00
//   spectrum, type 5
//     first generation, 52 bytes: AA A0|s, 50 codes; segment s holds bins s, s+2, ... s+98
//     second generation, 260 bytes: AA A0 00 00, 256 codes
//     dual-band: AA A0 <band 0|1> 00, then 256 (260 bytes) or 512 (516 bytes) codes;
//       an empty sweep is the 4 bytes AA A1 00 00
//   power, type 1 (0x10 of byte 1 = triggered capture)
//     first generation, 62 bytes: AA 20|T|s, 40 codes, 20 zero bytes; segment s holds
//       samples s, s+6, ... s+234
//     second generation, 1254 bytes: AA 20|T 00 00, 1000 codes, 250 zero bytes
//   SSID scan, type 7: AA E0 <n> 00, then n records of 64 bytes (ScanRecord below)
//
// All multi-byte values are big-endian. Amplitude codes are made with the host's calibration
// (AccessoryProfile::hostSpectrum / hostPower), so the host decodes the levels the caller gave.
//
// This file deliberately does not use the host's decoders: it is written from the frame formats
// alone, so a round trip through the decoders checks both sides.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/DomainTypes.h"
#include "tools/sim/AccessoryProfile.h"

namespace tarvo::sim {

using Bytes = std::vector<uint8_t>;

// Big-endian writers into a byte vector at an offset (the vector must be large enough).
void putU16(Bytes& b, size_t at, uint16_t v);
void putU32(Bytes& b, size_t at, uint32_t v);
void putF32(Bytes& b, size_t at, float v);

Bytes encodeDiscover(const AccessoryProfile& profile);
Bytes encodeConfigureAck(uint8_t sequence);
Bytes encodeStopAck();

// One sweep of levels (dBm, binsPerSweep(band) values; missing values are the floor) as the
// frames the accessory sends: two interleaved segments (segment 0 first) on the first
// generation, one frame otherwise. Band 1 exists on the dual-band accessory only; an empty
// result means the generation has no such band.
std::vector<Bytes> encodeSweep(const AccessoryProfile& profile, int band, const std::vector<float>& dbm);
// One spectrum frame from ready-made codes (for tests that need odd frames).
Bytes encodeSpectrumFrame(const AccessoryProfile& profile, int band, int segment, const uint8_t* codes, int count);
// The dual-band accessory's 4-byte empty sweep (AA A1 00 00).
Bytes encodeEmptySweep();

// One capture of levels (dBm, samplesPerTrace() values) as the frames the accessory sends:
// six interleaved segments on the first generation, one frame on the second; empty on the
// dual-band accessory.
std::vector<Bytes> encodeCapture(const AccessoryProfile& profile, const std::vector<float>& dbm, bool triggered);
// One power frame from ready-made codes (count = samplesPerPowerFrame()).
Bytes encodePowerFrame(const AccessoryProfile& profile, int segment, bool triggered, const uint8_t* codes, int count);

// ---------------------------------------------------------------------------------------------
// SSID scan records
//
// Record layout (64 bytes): 0 checksum (makes the 64 bytes sum to 0 modulo 256) | 1 primary
// channel | 2 BE int16 RSSI dBm | 4 BSSID | 10 BE width word (0x0400 10 MHz, 0x0800 20 MHz,
// 0x0C00 40 MHz; 0x0100 secondary above, 0x0200 below) | 12 SSID length | 13 SSID (32) |
// 45 PHY mode | 46 band code (0 = 5 GHz, 1 = 2.4 GHz) | 47 kind code | 50, 51 auxiliary
// channels (dual-band) | 52 BE security flags | the rest zero.
//
// Security flags: 0 open; 0x100000 WPS, 0x200000 WPA, 0x400000 WPA2, 0x1 WEP; cipher bits
// 0x2 and 0x4; 0xFFFFFFFF unknown.

struct ScanRecord {
  uint8_t channel = 0;
  int16_t rssiDbm = 0;
  std::array<uint8_t, 6> bssid{};
  uint16_t widthWord = 0;
  std::string ssid;  // at most 32 bytes are sent
  uint8_t phyMode = 0;
  uint8_t bandCode = 1;
  uint8_t kindCode = 0;
  uint8_t altA = 0, altB = 0;
  uint32_t securityFlags = 0;
};

// Width word for a bandwidth (10, 20, 40 MHz; 0 for anything else) and secondary channel
// (0 none, 1 above, 2 below).
uint16_t widthWord(int bandwidthMHz, int secondaryChannel);
// Security flags for a security kind (0 OPEN .. 4 WPA2, -1 unknown) and cipher (0 none, 1, 2, 3).
uint32_t securityFlags(int security, int cipher);

// The 64 bytes of one record, checksum included.
std::array<uint8_t, 64> encodeScanRecord(const ScanRecord& record);
// One scan frame: AA E0 n 00 + records.
Bytes encodeScanFrame(const std::vector<ScanRecord>& records);
// The frames of one scan cycle as the accessory reports it: one frame when fewer than 20
// records, otherwise a full frame of 20 followed by one closing frame with the rest (at most 20
// more; records beyond 40 are not reported). Exactly 20 records give a 20-record frame and an
// empty closing frame.
std::vector<Bytes> encodeScanCycle(const std::vector<ScanRecord>& records);
constexpr int SCAN_FRAME_MAX_RECORDS = 20;

}  // namespace tarvo::sim
