#include "acquisition/protocol/detail/ScanFrames.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "acquisition/protocol/detail/WireFormat.h"
#include "core/AnalyzerModel.h"

namespace tarvo::scan {

namespace {

constexpr std::array<uint8_t, 6> DEMO_BSSID_A{0xE0, 0x91, 0xF5, 0x76, 0x83, 0x22};
constexpr std::array<uint8_t, 6> DEMO_BSSID_B{0xE0, 0x91, 0xF5, 0x76, 0x83, 0x23};
constexpr char DEMO_SSID[] = "Free WiFi";

int32_t bandwidthOf(uint16_t width) {
  switch (width & 0x0C00) {
    case 0x0400:
      return 10;
    case 0x0800:
      return 20;
    case 0x0C00:
      return 40;
    default:
      return -1;
  }
}

int32_t secondaryChannelOf(uint16_t width) {
  switch (width & 0x0300) {
    case 0x0100:
      return 1;
    case 0x0200:
      return 2;
    default:
      return 0;
  }
}

int32_t recordKindOf(uint8_t code) {
  switch (code) {
    case 0:
      return 1;
    case 1:
      return 0;
    case 2:
      return 2;
    default:
      return 3;
  }
}

void post(ScreenLogSink* log, const char* text) {
  if (log) log->post(text);
}

}  // namespace

bool checksumOk(const uint8_t* record) {
  uint8_t sum = 0;
  for (int i = 0; i < SCAN_RECORD_LENGTH; ++i) sum = static_cast<uint8_t>(sum + record[i]);
  return sum == 0;
}

bool isEmptyRecord(const uint8_t* record) {
  const uint8_t channel = record[1];
  if (channel == 0 || channel == 0xFF) return true;
  return std::all_of(record + 4, record + 10, [](uint8_t b) { return b == 0; });
}

void decodeSecurity(uint32_t flags, int32_t& security, int32_t& cipher) {
  if (flags == 0) {
    security = SECURITY_OPEN;
    cipher = 0;
    return;
  }
  if (flags == 0xFFFFFFFFu) {
    security = -1;
    cipher = -1;
    return;
  }
  if (flags & 0x100000u)
    security = SECURITY_WPS;
  else if (flags & 0x200000u)
    security = SECURITY_WPA;
  else if (flags & 0x400000u)
    security = SECURITY_WPA2;
  else if (flags & 0x1u)
    security = SECURITY_WEP;
  else
    security = -1;

  const bool c1 = (flags & 0x2u) != 0;
  const bool c2 = (flags & 0x4u) != 0;
  if (c1 && c2)
    cipher = 3;
  else if (c1)
    cipher = 1;
  else if (c2)
    cipher = 2;
  else
    cipher = security == SECURITY_WPS ? 0 : -1;
}

std::string phyModeText(uint8_t phyModes) {
  std::string text;
  if (phyModes & PHY_A) text += "a/";
  if (phyModes & PHY_B) text += "b/";
  if (phyModes & PHY_G) text += "g/";
  if (phyModes & PHY_N) text += "n/";
  if (phyModes & PHY_AC) text += "ac/";
  return text;
}

AccessPoint decodeRecord(const uint8_t* record, RecordLayout layout) {
  AccessPoint ap;
  ap.channel = record[1];
  ap.rssi = static_cast<float>(wire::readS16(record + 2));
  std::copy(record + 4, record + 10, ap.bssid.begin());
  const uint16_t width = wire::readU16(record + 10);
  ap.bandwidthMHz = bandwidthOf(width);
  ap.secondaryChannel = secondaryChannelOf(width);
  // The length byte comes from the device and may exceed the 32-byte field.
  ap.ssidLength = std::min<uint8_t>(record[12], SSID_MAX_LENGTH);
  std::copy(record + 13, record + 13 + SSID_MAX_LENGTH, ap.ssid.begin());
  const uint8_t phy = record[45];
  if (layout == RecordLayout::DUAL_BAND)
    ap.phyModes = phy & 0x1F;
  else
    ap.phyModes = (phy == PHY_N || phy == PHY_G || phy == PHY_B) ? phy : 0;
  ap.band = record[46] == 0 ? BAND_5G : BAND_2G4;
  ap.recordKind = recordKindOf(record[47]);
  if (layout == RecordLayout::DUAL_BAND) {
    ap.altA = record[50];
    ap.altB = record[51];
  }
  decodeSecurity(wire::readU32(record + 52), ap.security, ap.cipher);
  return ap;
}

int decodeFrame(const uint8_t* bytes, int length, std::unique_ptr<AccessPointBatch>* out, const FrameOptions& options,
                ScreenLogSink* log) {
  if (out) out->reset();
  if (const int head = wire::checkFrameHead(bytes, length, FRAME_SCAN); head != PROTOCOL_OK) return head;
  const int records = bytes[2];
  if (records > options.maxRecords) return PROTOCOL_UNSUPPORTED;
  if (length < SCAN_HEADER_LENGTH + SCAN_RECORD_LENGTH * records) return PROTOCOL_TOO_SHORT;
  if (!out) return PROTOCOL_NO_BUFFER;

  post(log, "--------------");
  std::unique_ptr<AccessPointBatch> batch;
  char line[512];
  for (int i = 0; i < records; ++i) {
    const uint8_t* record = bytes + SCAN_HEADER_LENGTH + SCAN_RECORD_LENGTH * i;
    if (!checksumOk(record)) {
      std::printf("!!!!!SSID: %d Checksum failed.\n", i);
      continue;
    }
    if (options.layout == RecordLayout::DUAL_BAND && isEmptyRecord(record)) continue;

    auto ap = std::make_unique<AccessPoint>(decodeRecord(record, options.layout));
    if (options.substituteDemoSsids && (ap->bssid == DEMO_BSSID_A || ap->bssid == DEMO_BSSID_B)) {
      ap->ssid.fill(0);
      std::memcpy(ap->ssid.data(), DEMO_SSID, sizeof DEMO_SSID - 1);
      ap->ssidLength = sizeof DEMO_SSID - 1;
    }

    // The SSID is not terminated on the wire: print it length-limited.
    const std::string ssid = ap->ssidText();
    if (options.layout == RecordLayout::SINGLE_BAND) {
      std::snprintf(line, sizeof line, "%d) %s CH: %d BW:%d SB:%d Alt: %d %d Sec %d Enc: %d", i, ssid.c_str(),
                    ap->channel, ap->bandwidthMHz, ap->secondaryChannel, ap->altA, ap->altB, ap->security,
                    ap->cipher);
      post(log, line);
    } else if (ap->band == BAND_5G) {
      std::snprintf(line, sizeof line, "%d) %s CH: %d BW:%d SB:%d Alt: %d %d Sec %d Enc: %d %s  %.4x", i,
                    ssid.c_str(), ap->channel, ap->bandwidthMHz, ap->secondaryChannel, ap->altA, ap->altB,
                    ap->security, ap->cipher, phyModeText(ap->phyModes).c_str(),
                    static_cast<unsigned>(wire::readU16(record + 10)));
      post(log, line);
    }

    if (!batch) batch = std::make_unique<AccessPointBatch>();
    batch->push_back(std::move(ap));
  }
  *out = std::move(batch);
  return PROTOCOL_OK;
}

}  // namespace tarvo::scan
