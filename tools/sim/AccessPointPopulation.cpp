#include "tools/sim/AccessPointPopulation.h"

#include <algorithm>
#include <cmath>

#include "tools/sim/Random.h"

namespace tarvo::sim {

namespace {

enum : uint64_t { STREAM_BSSID = 101, STREAM_LEVEL = 102, STREAM_SCAN = 103 };

constexpr uint8_t BGN = PHY_B | PHY_G | PHY_N;
constexpr uint8_t BG = PHY_B | PHY_G;
constexpr uint8_t AN = PHY_A | PHY_N;
constexpr uint8_t ANAC = PHY_A | PHY_N | PHY_AC;

struct Cast {
  const char* ssid;
  int band, channel, width, secondary, center, security, cipher;
  uint8_t phy, kind;
  float rssi, airtime, busy;
  const uint8_t* fixedBssid;
};

constexpr uint8_t RENAMED_2G4[6] = {0xE0, 0x91, 0xF5, 0x76, 0x83, 0x22};
constexpr uint8_t RENAMED_5G[6] = {0xE0, 0x91, 0xF5, 0x76, 0x83, 0x23};

// The cast. Levels are means; airtime/busy shape the spectrum (busy spells share, airtime in them).
const Cast CAST[] = {
    // 2.4 GHz
    {"HomeNet", 0, 1, 20, 0, 0, SECURITY_WPA2, 2, BGN, 0, -48, 0.35f, 0.45f, nullptr},
    {"Linden Office", 0, 1, 40, 1, 0, SECURITY_WPA2, 3, BGN, 0, -72, 0.12f, 0.25f, nullptr},
    {"IoT-Hub", 0, 1, 20, 0, 0, SECURITY_WPA2, 1, PHY_G, 0, -67, 0.05f, 0.20f, nullptr},
    {"Unknown Security", 0, 2, 20, 0, 0, -1, -1, BGN, 0, -88, 0.02f, 0.05f, nullptr},
    {"", 0, 3, 20, 0, 0, SECURITY_WPA2, 2, BGN, 0, -78, 0.10f, 0.15f, nullptr},
    {"CafeGuest", 0, 6, 20, 0, 0, SECURITY_OPEN, 0, BGN, 0, -55, 0.40f, 0.50f, RENAMED_2G4},
    {"PrinterSetup", 0, 6, 20, 0, 0, SECURITY_WPS, 0, BGN, 0, -70, 0.03f, 0.05f, nullptr},
    {"Apt 4B", 0, 6, 40, 2, 0, SECURITY_WPA, 1, BGN, 0, -76, 0.12f, 0.20f, nullptr},
    {"Mesh-Node", 0, 6, 20, 0, 0, SECURITY_WPA2, 2, BGN, 1, -60, 0.15f, 0.30f, nullptr},
    {"Lab-Test", 0, 8, 10, 0, 0, SECURITY_WPA2, 2, PHY_G | PHY_N, 0, -85, 0.05f, 0.10f, nullptr},
    {"OldRouter", 0, 9, 20, 0, 0, SECURITY_WEP, -1, BG, 0, -80, 0.08f, 0.15f, nullptr},
    {"Ad-hoc Link", 0, 10, 20, 0, 0, SECURITY_OPEN, 0, BG, 2, -86, 0.04f, 0.10f, nullptr},
    {"Streaming-TV", 0, 11, 20, 0, 0, SECURITY_WPA2, 2, BGN, 0, -52, 0.60f, 0.55f, nullptr},
    {"Neighbour", 0, 11, 40, 2, 0, SECURITY_WPA, 3, BGN, 0, -74, 0.10f, 0.25f, nullptr},
    {"Kiosk", 0, 11, 20, 0, 0, SECURITY_OPEN, 0, PHY_B, 0, -83, 0.03f, 0.10f, nullptr},
    {"Garden Cam", 0, 13, 20, 0, 0, SECURITY_WPA2, 2, BGN, 0, -77, 0.20f, 0.35f, nullptr},
    {"Channel14", 0, 14, 20, 0, 0, SECURITY_OPEN, 0, PHY_B, 0, -89, 0.02f, 0.05f, nullptr},
    // 5 GHz
    {"HomeNet-5G", 1, 36, 80, 0, 42, SECURITY_WPA2, 2, ANAC, 0, -58, 0.35f, 0.45f, nullptr},
    {"Linden Office", 1, 40, 40, 2, 0, SECURITY_WPA2, 3, AN, 0, -69, 0.20f, 0.30f, nullptr},
    {"CafeGuest-5G", 1, 44, 20, 0, 0, SECURITY_OPEN, 0, AN, 0, -66, 0.30f, 0.40f, RENAMED_5G},
    {"Apt 4B-5G", 1, 52, 40, 1, 0, SECURITY_WPA, 1, AN, 0, -77, 0.15f, 0.25f, nullptr},
    {"Legacy-a", 1, 60, 20, 0, 0, SECURITY_WEP, -1, PHY_A, 0, -86, 0.05f, 0.10f, nullptr},
    {"Radar-DFS", 1, 100, 20, 0, 0, SECURITY_WPA2, 2, PHY_A, 0, -82, 0.05f, 0.10f, nullptr},
    {"Conference", 1, 104, 80, 0, 106, SECURITY_WPA2, 2, ANAC, 0, -74, 0.25f, 0.35f, nullptr},
    {"Lab-5G", 1, 116, 40, 1, 0, SECURITY_WPA2, 2, AN, 0, -84, 0.10f, 0.15f, nullptr},
    {"Streaming-TV-5G", 1, 149, 80, 0, 155, SECURITY_WPA2, 2, ANAC, 0, -55, 0.55f, 0.55f, nullptr},
    {"Office-Guest", 1, 157, 20, 0, 0, SECURITY_WPS, 0, AN, 0, -72, 0.10f, 0.20f, nullptr},
    {"Mesh-Node", 1, 161, 20, 0, 0, SECURITY_WPA2, 2, ANAC, 1, -64, 0.15f, 0.30f, nullptr},
    {"Garage", 1, 165, 20, 0, 0, SECURITY_WPA2, 2, AN, 0, -79, 0.08f, 0.15f, nullptr},
};

}  // namespace

double SimAccessPoint::occupiedCenterMHz() const {
  double c = channelCenterMHz(band, channel);
  if (bandwidthMHz == 80 && centerChannel > 0) return channelCenterMHz(band, centerChannel);
  if (bandwidthMHz == 40 && secondaryChannel == 1) c += 10.0;
  if (bandwidthMHz == 40 && secondaryChannel == 2) c -= 10.0;
  return c;
}

AccessPointPopulation::AccessPointPopulation(uint32_t seed) : seed_(seed) {
  int index = 0;
  for (const Cast& c : CAST) {
    SimAccessPoint ap;
    ap.ssid = c.ssid;
    ap.band = c.band;
    ap.channel = c.channel;
    ap.bandwidthMHz = c.width;
    ap.secondaryChannel = c.secondary;
    ap.centerChannel = c.center;
    ap.security = c.security;
    ap.cipher = c.cipher;
    ap.phyBits = c.phy;
    ap.kindCode = c.kind;
    ap.airtime = c.airtime;
    ap.busyShare = c.busy;
    Rng level(seed, STREAM_LEVEL, index);
    ap.rssiDbm = c.rssi + static_cast<float>(level.gaussian(0.0, 1.5));
    ap.driftDb = static_cast<float>(level.uniform(1.0, 4.0));
    ap.driftCycles = 1 + level.below(3);
    ap.driftPhase = level.uniform();
    if (c.fixedBssid) {
      std::copy(c.fixedBssid, c.fixedBssid + 6, ap.bssid.begin());
    } else {
      Rng mac(seed, STREAM_BSSID, index);
      for (auto& b : ap.bssid) b = static_cast<uint8_t>(mac.below(256));
      ap.bssid[0] &= 0xFC;  // unicast, globally administered
      if (ap.bssid[0] == 0xE0) ap.bssid[0] = 0xE4;  // never collide with the two fixed ones
    }
    aps_.push_back(ap);
    ++index;
  }
}

float AccessPointPopulation::rssiAt(size_t i, double phase) const {
  const SimAccessPoint& ap = aps_.at(i);
  const double w = 6.283185307179586 * (ap.driftCycles * phase + ap.driftPhase);
  return ap.rssiDbm + ap.driftDb * static_cast<float>(std::sin(w) + 0.3 * std::sin(3.0 * w + 1.0));
}

ScanRecord AccessPointPopulation::record(const SimAccessPoint& ap, int generationCode, int16_t rssiDbm) {
  ScanRecord r;
  r.channel = static_cast<uint8_t>(ap.channel);
  r.rssiDbm = rssiDbm;
  r.bssid = ap.bssid;
  // 80 MHz is reported as a 40 MHz width word plus the 80 MHz centre channel.
  r.widthWord = widthWord(ap.bandwidthMHz == 80 ? 40 : ap.bandwidthMHz, ap.secondaryChannel);
  r.ssid = ap.ssid;
  r.bandCode = ap.band == 1 ? 0 : 1;
  r.kindCode = ap.kindCode;
  r.securityFlags = securityFlags(ap.security, ap.cipher);
  if (generationCode == GENERATION_TARVO25) {
    r.phyMode = ap.phyBits;
    r.altA = static_cast<uint8_t>(ap.bandwidthMHz == 80 ? ap.centerChannel : 0);
  } else {
    // The second generation reports its best mode as one code: n, else g, else b.
    r.phyMode = (ap.phyBits & PHY_N) ? PHY_N : (ap.phyBits & PHY_G) ? PHY_G : PHY_B;
  }
  return r;
}

std::vector<ScanRecord> AccessPointPopulation::scan(int generationCode, int cycle, int loopCycles) const {
  std::vector<ScanRecord> out;
  if (generationCode != GENERATION_TARVO2 && generationCode != GENERATION_TARVO25) return out;
  if (loopCycles <= 0) loopCycles = 1;
  const int k = ((cycle % loopCycles) + loopCycles) % loopCycles;
  const double phase = static_cast<double>(k) / loopCycles;
  Rng rng(seed_, STREAM_SCAN, static_cast<uint64_t>(k));
  std::vector<std::pair<float, ScanRecord>> seen;
  for (size_t i = 0; i < aps_.size(); ++i) {
    const SimAccessPoint& ap = aps_[i];
    const double jitter = rng.gaussian(0.0, 1.0);
    const double missDraw = rng.uniform();
    if (generationCode == GENERATION_TARVO2 && ap.band != 0) continue;
    const float rssi = rssiAt(i, phase) + static_cast<float>(jitter);
    // Weak beacons are missed now and then.
    const double missChance = rssi < -84.0f ? 0.35 : rssi < -78.0f ? 0.10 : 0.0;
    if (missDraw < missChance) continue;
    const auto level = static_cast<int16_t>(std::lround(std::clamp(rssi, -100.0f, -20.0f)));
    seen.emplace_back(rssi, record(ap, generationCode, level));
  }
  if (seen.size() == SCAN_FRAME_MAX_RECORDS) {
    auto weakest = std::min_element(seen.begin(), seen.end(),
                                    [](const auto& a, const auto& b) { return a.first < b.first; });
    seen.erase(weakest);
  }
  for (auto& s : seen) out.push_back(std::move(s.second));
  return out;
}

}  // namespace tarvo::sim
