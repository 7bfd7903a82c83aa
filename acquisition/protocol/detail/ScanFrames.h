// SSID scan results (frame type 7), shared by the second-generation and dual-band decoders.
//
// Frame: AA, byte 1 (type 7), n = byte 2, byte 3 unused, then n records of 64 bytes:
//
//   offset size  content
//     0     1    not read
//     1     1    primary channel (dual-band: 0 or 0xFF marks an empty record)
//     2     2    RSSI, big-endian signed 16-bit dBm
//     4     6    MAC address (dual-band: all zero marks an empty record)
//    10     2    channel-width word w: w & 0x0C00 gives the bandwidth (0x0400 10, 0x0800 20,
//                0x0C00 40 MHz), w & 0x0300 the secondary channel (0x0100 above, 0x0200 below)
//    12     1    SSID length (the field below holds 32 bytes; longer lengths are clamped)
//    13    32    SSID bytes, not terminated
//    45     1    PHY modes (second generation: only the codes 1, 2, 4; dual-band: bit set & 0x1F)
//    46     1    band: 0 means 5 GHz, anything else 2.4 GHz
//    47     1    kind: 0 -> 1, 1 -> 0, 2 -> 2, else 3
//    48     2    not read
//    50     2    dual-band only: the two auxiliary bytes altA, altB
//    52     4    big-endian security flags
//    56     8    not read
//
// The 64 bytes of a record sum to 0 modulo 256; a record that does not is reported on standard
// output and skipped, and the records after it are still decoded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "acquisition/protocol/AccessoryProtocol.h"

namespace tarvo::scan {

enum class RecordLayout { SINGLE_BAND, DUAL_BAND };

bool checksumOk(const uint8_t* record);
// Dual-band empty slot: no MAC address, or a channel of 0 or 0xFF.
bool isEmptyRecord(const uint8_t* record);
AccessPoint decodeRecord(const uint8_t* record, RecordLayout layout);

// security and cipher from the 32-bit flag word.
void decodeSecurity(uint32_t flags, int32_t& security, int32_t& cipher);
// "a/", "b/", "g/", "n/", "ac/" for the bits 0x08, 0x01, 0x02, 0x04, 0x10, in that order.
std::string phyModeText(uint8_t phyModes);

struct FrameOptions {
  RecordLayout layout = RecordLayout::SINGLE_BAND;
  int maxRecords = 255;
  // Demo playback: the two recorded demo access points are shown under a neutral name.
  bool substituteDemoSsids = false;
};

// Decodes a whole scan frame (see AccessoryProtocol::decodeScan for the results).
int decodeFrame(const uint8_t* bytes, int length, std::unique_ptr<AccessPointBatch>* out, const FrameOptions& options,
                ScreenLogSink* log);

}  // namespace tarvo::scan
