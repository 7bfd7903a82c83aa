// AccessPointPopulation: the Wi-Fi neighbourhood the simulator scans and sweeps.
//
// One fixed cast of 29 access points (17 at 2.4 GHz, 12 at 5 GHz) chosen so that every case
// the views distinguish occurs at least once: every security kind (open, WPS, WEP, WPA, WPA2,
// unknown) and every cipher value, 10/20/40 MHz channels with the secondary above and below,
// 80 MHz at 5 GHz (primary channel plus the 80 MHz centre in the first auxiliary byte), 802.11b
// only, channel 14, a hidden SSID, every record kind, and the two BSSIDs E0:91:F5:76:83:22 and
// E0:91:F5:76:83:23 that demo playback renames. The seed varies the BSSIDs (apart from those
// two), the signal levels and the drift; the cast itself is fixed.
//
// Scans are periodic in the loop: scan cycle k of a loop of n cycles sees each access point with
// an RSSI drifting along a sum of sines with whole numbers of periods per loop, plus a little
// jitter, and misses weak ones now and then. So a recording that wraps shows no jump.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/sim/FrameEncoder.h"

namespace tarvo::sim {

struct SimAccessPoint {
  std::string ssid;
  std::array<uint8_t, 6> bssid{};
  int band = 0;              // 0 = 2.4 GHz, 1 = 5 GHz
  int channel = 1;           // primary channel
  int bandwidthMHz = 20;     // 10, 20, 40 or 80
  int secondaryChannel = 0;  // 0 none, 1 above, 2 below (40 MHz)
  int centerChannel = 0;     // 80 MHz: the centre channel (sent as the first auxiliary byte)
  int security = SECURITY_WPA2;
  // 1, 2 or 3 as flagged; 0 only for open and WPS access points (the wire cannot say "no
  // cipher" for the others: they decode as -1).
  int cipher = 2;
  uint8_t phyBits = PHY_B | PHY_G | PHY_N;
  uint8_t kindCode = 0;
  float rssiDbm = -60.0f;      // mean level
  float driftDb = 2.0f;        // drift amplitude
  int driftCycles = 1;         // drift periods per loop
  double driftPhase = 0.0;
  float airtime = 0.1f;        // share of time on air when busy (spectrum scenes)
  float busyShare = 0.3f;      // share of sweeps in busy spells

  // Centre frequency of the occupied channel in MHz (40 MHz shifted towards the secondary,
  // 80 MHz at the centre channel).
  double occupiedCenterMHz() const;
  int occupiedWidthMHz() const { return bandwidthMHz == 80 ? 80 : bandwidthMHz; }
};

class AccessPointPopulation {
 public:
  explicit AccessPointPopulation(uint32_t seed);

  const std::vector<SimAccessPoint>& accessPoints() const { return aps_; }
  // RSSI of access point i at loop phase 0..1 (without jitter).
  float rssiAt(size_t i, double phase) const;

  // The records one scan cycle reports. The first generation scans nothing; the second
  // reports the 2.4 GHz access points only (a single PHY mode code each); the dual-band
  // accessory reports both bands (PHY bits, auxiliary bytes). The cycle never holds exactly
  // 20 records (the weakest is left out then), so no cycle ends in an empty frame.
  std::vector<ScanRecord> scan(int generationCode, int cycle, int loopCycles) const;

  // The wire record of one access point.
  static ScanRecord record(const SimAccessPoint& ap, int generationCode, int16_t rssiDbm);

 private:
  uint32_t seed_;
  std::vector<SimAccessPoint> aps_;
};

}  // namespace tarvo::sim
