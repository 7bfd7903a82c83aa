// SSID scan frames of the second-generation and dual-band accessories, assembled record by
// record: field decoding, the modulo-256 checksum, empty records, the demo SSID substitution,
// and the lines that go to standard output and the on-screen log.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "ProtocolTestFrames.h"
#include "acquisition/protocol/AccessoryProtocolTarvo.h"
#include "acquisition/protocol/AccessoryProtocolTarvo2.h"
#include "acquisition/protocol/AccessoryProtocolTarvo25.h"
#include "core/AnalyzerModel.h"

namespace tarvo {
namespace {

using test::CapturedScreenLog;
using test::Frame;
using Lines = std::vector<std::string>;

// One 64-byte scan record, written field by field; sealed() sets the unread byte 0 so that the
// record sums to the wanted remainder modulo 256 (0 = a good checksum).
struct Record {
  std::array<uint8_t, 64> b{};

  Record() {
    channel(6).rssi(-67).bssid({0x00, 0x11, 0x22, 0x33, 0x44, 0x55}).width(0x0900).ssid("HomeNet");
    phy(0x04).band(1).kind(0).security(0x00400006);
    for (int i = 48; i < 52; ++i) b[i] = 0xEE;  // not read (single band)
    for (int i = 56; i < 64; ++i) b[i] = 0xEE;  // not read
  }
  Record& channel(uint8_t c) { return set(1, c); }
  Record& rssi(int16_t dbm) { return set(2, uint8_t(uint16_t(dbm) >> 8)).set(3, uint8_t(dbm)); }
  Record& bssid(std::array<uint8_t, 6> mac) {
    std::copy(mac.begin(), mac.end(), b.begin() + 4);
    return *this;
  }
  Record& width(uint16_t w) { return set(10, uint8_t(w >> 8)).set(11, uint8_t(w)); }
  Record& ssid(const std::string& s, int lengthByte = -1) {
    std::fill(b.begin() + 13, b.begin() + 45, 0);
    std::memcpy(b.data() + 13, s.data(), std::min<size_t>(s.size(), 32));
    return set(12, uint8_t(lengthByte < 0 ? s.size() : lengthByte));
  }
  Record& phy(uint8_t p) { return set(45, p); }
  Record& band(uint8_t v) { return set(46, v); }
  Record& kind(uint8_t k) { return set(47, k); }
  Record& alt(uint8_t a, uint8_t c) { return set(50, a).set(51, c); }
  Record& security(uint32_t f) {
    return set(52, uint8_t(f >> 24)).set(53, uint8_t(f >> 16)).set(54, uint8_t(f >> 8)).set(55, uint8_t(f));
  }
  Record& set(size_t offset, uint8_t v) {
    b[offset] = v;
    return *this;
  }
  std::array<uint8_t, 64> sealed(uint8_t remainder = 0) const {
    auto r = b;
    uint8_t sum = 0;
    for (int i = 1; i < 64; ++i) sum = uint8_t(sum + r[i]);
    r[0] = uint8_t(remainder - sum);
    return r;
  }
};

Frame scanFrame(const std::vector<std::array<uint8_t, 64>>& records) {
  Frame f(4 + 64 * records.size(), {0xAA, 0xE0, uint8_t(records.size()), 0xEE});
  for (size_t i = 0; i < records.size(); ++i) std::copy(records[i].begin(), records[i].end(), f.bytes.begin() + 4 + 64 * i);
  return f;
}

struct Decoded {
  int result = 0;
  std::unique_ptr<AccessPointBatch> list;
  Lines log;
  std::string stdoutText;
  size_t size() const { return list ? list->size() : 0; }
  const AccessPoint& at(size_t i) const { return *list->at(i); }
};

Decoded decode(AccessoryProtocol& decoder, const Frame& f) {
  CapturedScreenLog log;
  decoder.setScreenLog(&log);
  Decoded d;
  testing::internal::CaptureStdout();
  d.result = decoder.decodeScan(f.data(), f.size(), &d.list);
  d.stdoutText = testing::internal::GetCapturedStdout();
  d.log = log.lines;
  decoder.setScreenLog(nullptr);
  return d;
}

TEST(ScanSecondGeneration, DecodesEveryFieldAndLogsTheRecord) {
  AccessoryProtocolTarvo2 decoder;
  const Decoded d = decode(decoder, scanFrame({Record().sealed()}));
  ASSERT_EQ(d.result, 0);
  ASSERT_EQ(d.size(), 1u);
  AccessPoint expected;
  expected.ssidLength = 7;
  std::memcpy(expected.ssid.data(), "HomeNet", 7);
  expected.bssid = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  expected.recordKind = 1;
  expected.band = 0;
  expected.phyModes = PHY_N;
  expected.channel = 6;
  expected.bandwidthMHz = 20;
  expected.secondaryChannel = 1;
  expected.security = SECURITY_WPA2;
  expected.cipher = 3;
  expected.rssi = -67.0f;
  EXPECT_EQ(d.at(0), expected);  // every other field, list bookkeeping included, zero
  EXPECT_EQ(d.log, (Lines{"--------------", "0) HomeNet CH: 6 BW:20 SB:1 Alt: 0 0 Sec 4 Enc: 3"}));
  EXPECT_EQ(d.stdoutText, "");
}

TEST(ScanSecondGeneration, EmptyFrameYieldsNoList) {
  AccessoryProtocolTarvo2 decoder;
  const Frame f = scanFrame({});
  ASSERT_EQ(f.size(), 4);
  EXPECT_EQ(decoder.frameLength(f.data(), f.size()), 4);
  const Decoded d = decode(decoder, f);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.list, nullptr);
  EXPECT_EQ(d.log, Lines{"--------------"});
}

TEST(ScanSecondGeneration, BadChecksumSkipsOnlyThatRecord) {
  AccessoryProtocolTarvo2 decoder;
  const Decoded d = decode(decoder, scanFrame({Record().ssid("Broken").sealed(1), Record().ssid("Next").sealed()}));
  ASSERT_EQ(d.result, 0);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d.at(0).ssidText(), "Next");
  EXPECT_EQ(d.stdoutText, "!!!!!SSID: 0 Checksum failed.\n");
  EXPECT_EQ(d.log, (Lines{"--------------", "1) Next CH: 6 BW:20 SB:1 Alt: 0 0 Sec 4 Enc: 3"}));

  const Decoded none = decode(decoder, scanFrame({Record().sealed(0x80), Record().sealed(0xFF)}));
  EXPECT_EQ(none.result, 0);
  EXPECT_EQ(none.list, nullptr);
  EXPECT_EQ(none.stdoutText, "!!!!!SSID: 0 Checksum failed.\n!!!!!SSID: 1 Checksum failed.\n");
}

TEST(ScanSecondGeneration, BandByteZeroMeansFiveGigahertz) {
  AccessoryProtocolTarvo2 decoder;
  const Decoded d =
      decode(decoder, scanFrame({Record().band(0).channel(36).sealed(), Record().band(2).sealed()}));
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d.at(0).band, BAND_5G);
  EXPECT_EQ(d.at(0).channel, 36);
  EXPECT_EQ(d.at(1).band, BAND_2G4);
}

TEST(ScanSecondGeneration, SecurityAndCipherFlags) {
  struct Case {
    uint32_t flags;
    int32_t security, cipher;
  };
  const Case cases[] = {
      {0x00000000, 0, 0},   {0xFFFFFFFF, -1, -1}, {0x00100000, 1, 0},  {0x00100002, 1, 1},
      {0x00300004, 1, 2},   {0x00200000, 3, -1},  {0x00200002, 3, 1},  {0x00600004, 3, 2},
      {0x00400006, 4, 3},   {0x00400000, 4, -1},  {0x00000001, 2, -1}, {0x00000007, 2, 3},
      {0x00000008, -1, -1}, {0x00000004, -1, 2},  {0x80000000, -1, -1},
  };
  std::vector<std::array<uint8_t, 64>> records;
  for (const auto& c : cases) records.push_back(Record().security(c.flags).sealed());
  AccessoryProtocolTarvo2 decoder;
  const Decoded d = decode(decoder, scanFrame(records));
  ASSERT_EQ(d.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(d.at(i).security, cases[i].security) << std::hex << cases[i].flags;
    EXPECT_EQ(d.at(i).cipher, cases[i].cipher) << std::hex << cases[i].flags;
  }
}

TEST(ScanSecondGeneration, WidthWordKindPhyAndRssi) {
  struct Case {
    uint16_t width;
    uint8_t kind, phy;
    int16_t rssi;
    int32_t bandwidth, secondary, recordKind;
    uint8_t phyModes;
  };
  const Case cases[] = {
      {0x0400, 0, 0x01, -90, 10, 0, 1, 0x01}, {0x0900, 1, 0x02, -1, 20, 1, 0, 0x02},
      {0x0E00, 2, 0x04, 5, 40, 2, 2, 0x04},   {0x0300, 3, 0x03, -300, -1, 0, 3, 0x00},
      {0xF0FF, 255, 0x08, 0, -1, 0, 3, 0x00},
  };
  std::vector<std::array<uint8_t, 64>> records;
  for (const auto& c : cases) records.push_back(Record().width(c.width).kind(c.kind).phy(c.phy).rssi(c.rssi).sealed());
  AccessoryProtocolTarvo2 decoder;
  const Decoded d = decode(decoder, scanFrame(records));
  ASSERT_EQ(d.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(d.at(i).bandwidthMHz, cases[i].bandwidth);
    EXPECT_EQ(d.at(i).secondaryChannel, cases[i].secondary);
    EXPECT_EQ(d.at(i).recordKind, cases[i].recordKind);
    EXPECT_EQ(d.at(i).phyModes, cases[i].phyModes);
    EXPECT_EQ(d.at(i).rssi, static_cast<float>(cases[i].rssi));
  }
}

// The length byte can claim up to 255 bytes but the field holds 32: what follows the field
// (PHY mode, band, security bytes) must never become part of the name.
TEST(ScanSecondGeneration, SsidLengthIsClampedToTheField) {
  const std::string name32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
  AccessoryProtocolTarvo2 decoder;
  const Decoded d = decode(decoder, scanFrame({Record().ssid(name32, 200).phy('!').band('!').sealed()}));
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d.at(0).ssidLength, 32);
  EXPECT_EQ(d.at(0).ssidText(), name32);
  ASSERT_EQ(d.log.size(), 2u);
  EXPECT_EQ(d.log[1], "0) " + name32 + " CH: 6 BW:20 SB:1 Alt: 0 0 Sec 4 Enc: 3");
}

TEST(ScanSecondGeneration, ShortSsidIsPrintedLengthLimited) {
  AccessoryProtocolTarvo2 decoder;
  Record r;
  r.ssid("NetworkTail", 7);  // bytes beyond the length are not part of the name
  const Decoded d = decode(decoder, scanFrame({r.sealed()}));
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d.at(0).ssidText(), "Network");
  EXPECT_EQ(d.log[1], "0) Network CH: 6 BW:20 SB:1 Alt: 0 0 Sec 4 Enc: 3");
}

TEST(ScanSecondGeneration, DemoAccessPointsKeepTheirNames) {
  AccessoryProtocolTarvo2 decoder;  // no connection state: the renaming is the dual-band accessory's
  const Decoded d = decode(decoder, scanFrame({Record().bssid({0xE0, 0x91, 0xF5, 0x76, 0x83, 0x22}).sealed()}));
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d.at(0).ssidText(), "HomeNet");
}

TEST(ScanDecoding, FailuresInOrder) {
  const Frame good = scanFrame({Record().sealed(), Record().sealed()});
  Frame badSync = good;
  badSync.u8(0, 0xAB);
  Frame wrongType = good;
  wrongType.u8(1, 0xC0);
  struct Case {
    const char* what;
    const Frame* frame;
    int length;
    bool withOut;
    int expected;
  };
  const Case cases[] = {
      {"no buffer", nullptr, 132, true, -3},  {"one byte", &good, 1, true, -2},
      {"bad sync", &badSync, 132, true, -1},  {"two bytes", &good, 2, true, -2},
      {"wrong type", &wrongType, 132, true, -4}, {"a record short", &good, 131, true, -2},
      {"no output", &good, 132, false, -3},   {"whole", &good, 132, true, 0},
  };
  AccessoryProtocolTarvo2 gen2;
  AnalyzerModel model;
  AccessoryProtocolTarvo25 dual(&model);
  for (AccessoryProtocol* decoder : std::initializer_list<AccessoryProtocol*>{&gen2, &dual}) {
    for (const auto& c : cases) {
      auto list = std::make_unique<AccessPointBatch>();  // stale contents must not survive
      list->push_back(std::make_unique<AccessPoint>());
      testing::internal::CaptureStdout();
      const int r = decoder->decodeScan(c.frame ? c.frame->data() : nullptr, c.length, c.withOut ? &list : nullptr);
      testing::internal::GetCapturedStdout();
      EXPECT_EQ(r, c.expected) << c.what;
      if (c.withOut && r != 0) {
        EXPECT_EQ(list, nullptr) << c.what;
      }
    }
  }
  AccessoryProtocolTarvo gen1;
  std::unique_ptr<AccessPointBatch> list;
  EXPECT_EQ(gen1.decodeScan(good.data(), good.size(), &list), -99);
  EXPECT_EQ(list, nullptr);
}

TEST(ScanDecoding, WorksWithoutAScreenLog) {
  AccessoryProtocolTarvo2 decoder;
  const Frame f = scanFrame({Record().sealed()});
  std::unique_ptr<AccessPointBatch> list;
  ASSERT_EQ(decoder.decodeScan(f.data(), f.size(), &list), 0);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->size(), 1u);
}

// Dual band: a connected model unless a test says otherwise.
class ScanDualBand : public ::testing::Test {
 protected:
  void SetUp() override { model.setConnected(true); }
  AnalyzerModel model;
  AccessoryProtocolTarvo25 decoder{&model};
};

TEST_F(ScanDualBand, FiveGigahertzRecordCarriesAuxiliaryBytesAndPhyText) {
  Record r;
  r.channel(36).band(0).width(0x0E00).ssid("Office5").phy(0xFC).alt(38, 42).security(0x00400002);
  const Decoded d = decode(decoder, scanFrame({r.sealed()}));
  ASSERT_EQ(d.size(), 1u);
  const AccessPoint& ap = d.at(0);
  EXPECT_EQ(ap.band, BAND_5G);
  EXPECT_EQ(ap.channel, 36);
  EXPECT_EQ(ap.phyModes, PHY_N | PHY_A | PHY_AC);
  EXPECT_EQ(ap.altA, 38);
  EXPECT_EQ(ap.altB, 42);
  EXPECT_EQ(ap.bandwidthMHz, 40);
  EXPECT_EQ(ap.secondaryChannel, 2);
  EXPECT_EQ(d.log, (Lines{"--------------", "0) Office5 CH: 36 BW:40 SB:2 Alt: 38 42 Sec 4 Enc: 1 a/n/ac/  0e00"}));
}

TEST_F(ScanDualBand, PhyModeTextInFixedOrder) {
  const std::pair<uint8_t, const char*> cases[] = {
      {0x00, ""}, {0x01, "b/"}, {0x03, "b/g/"}, {0x1F, "a/b/g/n/ac/"}, {0x18, "a/ac/"}, {0xE0, ""}};
  std::vector<std::array<uint8_t, 64>> records;
  for (auto [phy, text] : cases) records.push_back(Record().band(0).width(0x0100).phy(phy).alt(0, 0).sealed());
  const Decoded d = decode(decoder, scanFrame(records));
  ASSERT_EQ(d.log.size(), 1 + std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(d.log[1 + i], std::to_string(i) + ") HomeNet CH: 6 BW:-1 SB:1 Alt: 0 0 Sec 4 Enc: 3 " + cases[i].second +
                                "  0100");
}

TEST_F(ScanDualBand, TwoPointFourGigahertzRecordsAreNotLogged) {
  const Decoded d = decode(decoder, scanFrame({Record().phy(0x07).sealed()}));
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d.at(0).phyModes, 0x07);  // the bit set, not the single-band codes
  EXPECT_EQ(d.log, Lines{"--------------"});
}

TEST_F(ScanDualBand, EmptyRecordsAreSkippedSilently) {
  const Decoded d = decode(decoder, scanFrame({
                                        Record().bssid({0, 0, 0, 0, 0, 0}).band(0).sealed(),
                                        Record().channel(0).band(0).sealed(),
                                        Record().channel(0xFF).band(0).sealed(),
                                        Record().ssid("Real").band(0).sealed(),
                                        Record().bssid({0, 0, 0, 0, 0, 1}).channel(1).band(0).sealed(),
                                    }));
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d.at(0).ssidText(), "Real");
  EXPECT_EQ(d.at(1).channel, 1);
  ASSERT_EQ(d.log.size(), 3u);
  EXPECT_EQ(d.log[1].substr(0, 8), "3) Real ");
  EXPECT_EQ(d.log[2].substr(0, 3), "4) ");
  EXPECT_EQ(d.stdoutText, "");
}

TEST_F(ScanDualBand, DemoAccessPointsAreRenamedOnlyWhileDisconnected) {
  const std::array<uint8_t, 6> demoA{0xE0, 0x91, 0xF5, 0x76, 0x83, 0x22};
  const std::array<uint8_t, 6> demoB{0xE0, 0x91, 0xF5, 0x76, 0x83, 0x23};
  const std::array<uint8_t, 6> other{0xE0, 0x91, 0xF5, 0x76, 0x83, 0x24};
  const Frame f = scanFrame({Record().bssid(demoA).ssid("Recorded Network Name").band(0).sealed(),
                             Record().bssid(demoB).ssid("X").sealed(), Record().bssid(other).sealed()});
  const Decoded live = decode(decoder, f);
  model.setConnected(false);
  const Decoded demo = decode(decoder, f);
  ASSERT_EQ(live.size(), 3u);
  ASSERT_EQ(demo.size(), 3u);

  EXPECT_EQ(live.at(0).ssidText(), "Recorded Network Name");
  EXPECT_EQ(demo.at(0).ssidText(), "Free WiFi");
  EXPECT_EQ(demo.at(0).ssidLength, 9);
  std::array<uint8_t, 32> expectedSsid{};
  std::memcpy(expectedSsid.data(), "Free WiFi", 9);
  EXPECT_EQ(demo.at(0).ssid, expectedSsid);  // the rest of the old name is cleared
  // Everything but the name is as decoded.
  AccessPoint renamed = demo.at(0);
  renamed.ssid = live.at(0).ssid;
  renamed.ssidLength = live.at(0).ssidLength;
  EXPECT_EQ(renamed, live.at(0));

  EXPECT_EQ(demo.at(1).ssidText(), "Free WiFi");
  EXPECT_EQ(demo.at(2).ssidText(), "HomeNet");
  EXPECT_EQ(demo.log[1].substr(0, 13), "0) Free WiFi ");
}

TEST_F(ScanDualBand, AtMostTwentyRecordsAFrame) {
  std::vector<std::array<uint8_t, 64>> records(20, Record().sealed());
  Frame twenty = scanFrame(records);
  EXPECT_EQ(decoder.frameLength(twenty.data(), twenty.size()), 4 + 64 * 20);
  EXPECT_EQ(decode(decoder, twenty).size(), 20u);

  records.push_back(Record().sealed());
  Frame many = scanFrame(records);
  EXPECT_EQ(decoder.frameLength(many.data(), 4), -99);
  EXPECT_EQ(decoder.frameLength(many.data(), many.size()), -99);
  const Decoded d = decode(decoder, many);
  EXPECT_EQ(d.result, -99);
  EXPECT_EQ(d.list, nullptr);

  AccessoryProtocolTarvo2 gen2;  // the second generation has no such limit
  EXPECT_EQ(gen2.frameLength(many.data(), many.size()), many.size());
  EXPECT_EQ(decode(gen2, many).size(), 21u);
}

}  // namespace
}  // namespace tarvo
