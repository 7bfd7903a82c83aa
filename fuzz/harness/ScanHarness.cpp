// Scan harness: one SSID scan frame through decodeScan of the second-generation or the dual-band
// decoder.
//
// Checks, for every input:
//   - the result is one of the documented codes, and a failure hands back no list;
//   - every decoded record comes from a record slot whose 64 bytes sum to 0 (and, dual-band, is
//     not an empty slot), so the list is never longer than the frame allows;
//   - every record field is one of the values its wire code maps to (SSID length within the
//     32-byte field, bandwidth, secondary channel, band, kind, security, cipher, PHY modes);
//   - decodeScan and frameLength agree: a frame that frameLength measures as complete decodes,
//     and a frame that decodes is one frameLength accepts.
// The screen log, when present, receives lines that must be terminated strings.
//
// Input format:
//   byte 0   header
//              bit 0  decoder: 0 second generation (AccessoryProtocolTarvo2), 1 dual-band
//              bit 1  fix the checksums: byte 0 of each whole record (not read by the decoder) is
//                     set so that the record sums to 0, so the fuzzer reaches the record fields
//              bit 2  accessoryConnected (dual-band: off substitutes the demo SSIDs)
//              bit 3  a screen log is attached
//              bit 4  decode only the frameLength() bytes when frameLength measures a frame
//              bit 5  no output pointer
//              bit 6  force the frame head: byte 0 = 0xAA, type 7 in byte 1
//   the rest: the frame.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/protocol/AccessoryProtocol.h"
#include "acquisition/protocol/AccessoryProtocolFactory.h"
#include "core/AnalyzerModel.h"
#include "fuzz/harness/FuzzInput.h"
#include "fuzz/harness/Harness.h"
#include "tools/sim/AccessPointPopulation.h"
#include "tools/sim/FrameEncoder.h"

namespace tarvo::fuzz {

namespace {

constexpr uint8_t HEADER_DUAL_BAND = 0x01;
constexpr uint8_t HEADER_FIX_CHECKSUMS = 0x02;
constexpr uint8_t HEADER_CONNECTED = 0x04;
constexpr uint8_t HEADER_SCREEN_LOG = 0x08;
constexpr uint8_t HEADER_MEASURED = 0x10;
constexpr uint8_t HEADER_NO_OUTPUT = 0x20;
constexpr uint8_t HEADER_FORCE_HEAD = 0x40;

struct CountingLog : ScreenLogSink {
  size_t lines = 0;
  size_t bytes = 0;
  void post(const char* text) override {
    ++lines;
    bytes += std::strlen(text);  // reads up to the terminator: ASan flags a line without one
  }
};

bool checksumOk(const uint8_t* record) {
  uint8_t sum = 0;
  for (int i = 0; i < SCAN_RECORD_LENGTH; ++i) sum = static_cast<uint8_t>(sum + record[i]);
  return sum == 0;
}

bool emptySlot(const uint8_t* record) {
  if (record[1] == 0 || record[1] == 0xFF) return true;
  for (int i = 4; i < 10; ++i)
    if (record[i] != 0) return false;
  return true;
}

std::string checkRecord(const AccessPoint& ap, bool dualBand) {
  if (ap.ssidLength > SSID_MAX_LENGTH) return "ssidLength " + std::to_string(ap.ssidLength) + " exceeds the field";
  // "%.*s": the text ends at the first NUL of the SSID, never past ssidLength.
  if (ap.ssidText().size() > ap.ssidLength) return "ssidText() is longer than ssidLength";
  if (ap.bandwidthMHz != -1 && ap.bandwidthMHz != 10 && ap.bandwidthMHz != 20 && ap.bandwidthMHz != 40)
    return "bandwidthMHz " + std::to_string(ap.bandwidthMHz);
  if (ap.secondaryChannel < 0 || ap.secondaryChannel > 2) return "secondaryChannel " + std::to_string(ap.secondaryChannel);
  if (ap.band != BAND_2G4 && ap.band != BAND_5G) return "band " + std::to_string(ap.band);
  if (ap.recordKind < 0 || ap.recordKind > 3) return "recordKind " + std::to_string(ap.recordKind);
  if (ap.security < -1 || ap.security > 4) return "security " + std::to_string(ap.security);
  if (ap.cipher < -1 || ap.cipher > 3) return "cipher " + std::to_string(ap.cipher);
  if (dualBand ? ap.phyModes > 0x1F : !(ap.phyModes == 0 || ap.phyModes == 1 || ap.phyModes == 2 || ap.phyModes == 4))
    return "phyModes " + std::to_string(ap.phyModes);
  if (!(ap.rssi >= -32768.0f && ap.rssi <= 32767.0f) || ap.rssi != static_cast<float>(static_cast<int>(ap.rssi)))
    return "rssi is not a 16-bit value";
  if (ap.channel > 255) return "channel " + std::to_string(ap.channel);
  if (dualBand && (ap.channel == 0 || ap.channel == 255)) return "an empty dual-band slot was decoded";
  if (ap.lastSeenMs != 0 || ap.sightings != 0) return "a decoded record carries list bookkeeping";
  return {};
}

AnalyzerModel& harnessModel() {
  static AnalyzerModel* model = new AnalyzerModel();
  return *model;
}

}  // namespace

std::string runScanInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t header = in.u8();
  std::vector<uint8_t> frame = in.rest();
  const bool dualBand = (header & HEADER_DUAL_BAND) != 0;

  if ((header & HEADER_FORCE_HEAD) && frame.size() >= 2) {
    frame[0] = FRAME_SYNC;
    frame[1] |= 0xE0;
  }
  if (header & HEADER_FIX_CHECKSUMS) {
    for (size_t at = SCAN_HEADER_LENGTH; at + SCAN_RECORD_LENGTH <= frame.size(); at += SCAN_RECORD_LENGTH) {
      uint8_t sum = 0;
      for (int i = 1; i < SCAN_RECORD_LENGTH; ++i) sum = static_cast<uint8_t>(sum + frame[at + i]);
      frame[at] = static_cast<uint8_t>(-sum);
    }
  }

  AnalyzerModel& model = harnessModel();
  model.setConnected((header & HEADER_CONNECTED) != 0);
  std::unique_ptr<AccessoryProtocol> decoder = createAccessoryProtocol(dualBand ? 7 : 6, &model);
  if (!decoder) return "no decoder for generation " + std::to_string(dualBand ? 7 : 6);
  CountingLog log;
  if (header & HEADER_SCREEN_LOG) decoder->setScreenLog(&log);

  // An empty vector's data() may be null: the decoder must take that as "no buffer".
  const uint8_t* bytes = frame.empty() ? nullptr : frame.data();
  const int available = static_cast<int>(frame.size());
  const int measured = decoder->frameLength(bytes, available);
  int length = available;
  if ((header & HEADER_MEASURED) && measured > 0) length = measured;
  if (measured > available) return "frameLength " + std::to_string(measured) + " exceeds the bytes available";

  std::unique_ptr<AccessPointBatch> batch = std::make_unique<AccessPointBatch>();  // must be replaced
  const bool noOutput = (header & HEADER_NO_OUTPUT) != 0;
  const int rc = decoder->decodeScan(bytes, length, noOutput ? nullptr : &batch);

  switch (rc) {
    case PROTOCOL_OK:
    case PROTOCOL_INCOMPLETE:
    case PROTOCOL_TOO_SHORT:
    case PROTOCOL_NO_BUFFER:
    case PROTOCOL_WRONG_TYPE:
    case PROTOCOL_UNSUPPORTED:
      break;
    default:
      return "decodeScan returned " + std::to_string(rc);
  }
  if (noOutput) {
    if (rc == PROTOCOL_OK) return "decodeScan succeeded without an output pointer";
    return {};
  }
  if (rc != PROTOCOL_OK) {
    if (batch) return "decodeScan failed with " + std::to_string(rc) + " but handed back a list";
    // A frame whose length frameLength measured is well formed: it must decode.
    if (measured > 0 && measured <= length && length >= 3 && (frame[1] >> 5) == FRAME_SCAN)
      return "frameLength measured a complete scan frame of " + std::to_string(measured) +
             " bytes but decodeScan returned " + std::to_string(rc);
    return {};
  }

  // Success: the frame is a scan frame that frameLength accepts.
  if (length < SCAN_HEADER_LENGTH) return "decodeScan succeeded on fewer than 4 bytes";
  const int records = frame[2];
  if (measured != SCAN_HEADER_LENGTH + SCAN_RECORD_LENGTH * records)
    return "decodeScan decoded a frame that frameLength measures as " + std::to_string(measured);
  if (batch && batch->empty()) return "decodeScan handed back an empty list instead of none";

  size_t usable = 0;
  for (int i = 0; i < records; ++i) {
    const uint8_t* record = frame.data() + SCAN_HEADER_LENGTH + SCAN_RECORD_LENGTH * i;
    if (checksumOk(record) && !(dualBand && emptySlot(record))) ++usable;
  }
  const size_t decoded = batch ? batch->size() : 0;
  if (decoded != usable)
    return std::to_string(decoded) + " records decoded from " + std::to_string(usable) + " usable slots";
  if (dualBand && decoded > static_cast<size_t>(DUALBAND_MAX_SCAN_RECORDS)) return "more than 20 dual-band records";
  if (batch) {
    for (const auto& ap : *batch) {
      if (!ap) return "a null record in the list";
      if (std::string broken = checkRecord(*ap, dualBand); !broken.empty()) return broken;
    }
  }
  return {};
}

std::vector<Seed> scanSeeds() {
  std::vector<Seed> seeds;
  // A record as an access point sends it; `fix` makes the checksum byte right.
  auto record = [](uint8_t channel, int16_t rssi, uint8_t macLast, uint16_t width, const char* ssid, uint8_t phy,
                   uint8_t band, uint8_t kind, uint32_t security, bool goodChecksum) {
    std::vector<uint8_t> r(SCAN_RECORD_LENGTH, 0);
    r[1] = channel;
    r[2] = static_cast<uint8_t>(static_cast<uint16_t>(rssi) >> 8);
    r[3] = static_cast<uint8_t>(rssi);
    const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, macLast};
    std::memcpy(r.data() + 4, mac, 6);
    r[10] = static_cast<uint8_t>(width >> 8);
    r[11] = static_cast<uint8_t>(width);
    const size_t n = std::strlen(ssid);
    r[12] = static_cast<uint8_t>(n);
    std::memcpy(r.data() + 13, ssid, std::min<size_t>(n, SSID_MAX_LENGTH));
    r[45] = phy;
    r[46] = band;
    r[47] = kind;
    r[50] = 3;
    r[51] = 7;
    for (int i = 0; i < 4; ++i) r[52 + i] = static_cast<uint8_t>(security >> (24 - 8 * i));
    uint8_t sum = 0;
    for (int i = 1; i < SCAN_RECORD_LENGTH; ++i) sum = static_cast<uint8_t>(sum + r[i]);
    r[0] = static_cast<uint8_t>(-sum + (goodChecksum ? 0 : 1));
    return r;
  };
  auto frame = [](uint8_t header, const std::vector<std::vector<uint8_t>>& records) {
    FuzzInputWriter w;
    w.u8(header).u8(0xAA).u8(0xE0).u8(static_cast<uint8_t>(records.size())).u8(0);
    for (const auto& r : records) w.append(r);
    return w.bytes();
  };

  const auto home = record(6, -48, 1, 0x0800, "HomeNet", 4, 1, 0, 0x400006, true);
  const auto cafe = record(11, -71, 2, 0x0D00, "Cafe guest", 2, 1, 1, 0, true);
  const auto wide = record(36, -60, 3, 0x0C00, "Office-5G", 0x1C, 0, 0, 0x100000, true);
  const auto broken = record(1, -80, 4, 0x0400, "broken", 1, 1, 2, 0xFFFFFFFF, false);
  const auto longName = record(3, -55, 5, 0x0800, "an SSID that is longer than thirty-two bytes", 4, 1, 0, 1, true);
  auto demo = record(44, -52, 0x22, 0x0800, "original name", 0x08, 0, 0, 0x200002, true);
  demo[4] = 0xE0;
  demo[5] = 0x91;
  demo[6] = 0xF5;
  demo[7] = 0x76;
  demo[8] = 0x83;
  uint8_t sum = 0;
  for (int i = 1; i < SCAN_RECORD_LENGTH; ++i) sum = static_cast<uint8_t>(sum + demo[i]);
  demo[0] = static_cast<uint8_t>(-sum);
  auto empty = std::vector<uint8_t>(SCAN_RECORD_LENGTH, 0);

  seeds.push_back({"gen2-three-records", frame(HEADER_SCREEN_LOG, {home, cafe, broken})});
  seeds.push_back({"gen2-no-records", frame(0, {})});
  seeds.push_back({"gen2-long-ssid", frame(HEADER_SCREEN_LOG | HEADER_FIX_CHECKSUMS, {longName, wide})});
  seeds.push_back({"dual-demo-names", frame(HEADER_DUAL_BAND | HEADER_SCREEN_LOG, {demo, wide, empty, home})});
  seeds.push_back({"dual-connected", frame(HEADER_DUAL_BAND | HEADER_CONNECTED | HEADER_SCREEN_LOG, {demo, cafe})});
  std::vector<std::vector<uint8_t>> twenty(20, wide);
  seeds.push_back({"dual-twenty-records", frame(HEADER_DUAL_BAND | HEADER_FIX_CHECKSUMS, twenty)});
  twenty.push_back(home);
  seeds.push_back({"dual-twenty-one-records", frame(HEADER_DUAL_BAND, twenty)});
  auto cut = frame(HEADER_MEASURED, {home, cafe});
  cut.resize(cut.size() - 10);
  seeds.push_back({"gen2-cut-short", cut});

  // Scan cycles of the simulator's access-point population, as each generation reports them.
  const sim::AccessPointPopulation population(20240611);
  for (int code : {6, 7}) {
    int index = 0;
    for (int cycle = 0; cycle < 3; ++cycle) {
      for (const sim::Bytes& f : sim::encodeScanCycle(population.scan(code, cycle, 12))) {
        FuzzInputWriter w;
        w.u8(static_cast<uint8_t>((code == 7 ? HEADER_DUAL_BAND : 0) | HEADER_SCREEN_LOG | (cycle == 1 ? HEADER_CONNECTED : 0)));
        w.append(f);
        seeds.push_back({"sim-gen" + std::to_string(code) + "-" + std::to_string(index++), w.bytes()});
      }
    }
  }
  return seeds;
}

}  // namespace tarvo::fuzz
