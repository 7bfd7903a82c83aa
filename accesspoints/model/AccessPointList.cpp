#include "accesspoints/model/AccessPointList.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "accesspoints/model/Utilization.h"

namespace tarvo {

namespace {

using Criteria = SpectrumSettings::SSIDSortCriteria;

// Marker colours are drawn from a generator seeded by the BSSID, so an access point keeps its
// colour across clears and sessions, and merging needs no shared random state between threads.
// Draws repeat until the colour is bright enough to read on the dark plot (r + g + b >= 240).
std::array<uint8_t, 4> markerColorFor(const std::array<uint8_t, 6>& bssid) {
  uint64_t state = 0x243F6A8885A308D3ull;
  for (uint8_t b : bssid) state = (state ^ b) * 0x100000001B3ull;
  auto next = [&state]() {
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint8_t>((z ^ (z >> 31)) & 0xFF);
  };
  for (;;) {
    const uint8_t r = next(), g = next(), b = next();
    if (r + g + b >= 240) return {r, g, b, 255};
  }
}

// Where a new entry's marker starts: the bottom of its band's amplitude range, so the marker
// rises from the bottom of the plot. A band without a range (NaN) starts at the signal itself.
float markerBottomDbm(const DeviceInfo& info, const AccessPoint& ap) {
  const float bottom = ap.band == BAND_5G ? info.band2MinDbm : info.band1MinDbm;
  return std::isfinite(bottom) ? bottom : ap.rssi;
}

void setUpNewEntry(AccessPoint& ap, const DeviceInfo& info, int64_t nowMs) {
  ap.lastSeenMs = nowMs;
  ap.sightings = 1;
  ap.markerStartDbm = ap.markerDbm = markerBottomDbm(info, ap);
  ap.markerTargetDbm = ap.rssi;
  ap.markerColor = markerColorFor(ap.bssid);
}

int threeWay(auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); }

// Floats in a total order (NaN lowest), so a bad value can never break the sort's ordering.
int compareFloat(float a, float b) {
  const bool an = std::isnan(a), bn = std::isnan(b);
  if (an || bn) return threeWay(!an, !bn);
  return threeWay(a, b);
}

int compareByCriteria(int criteria, const AccessPoint& a, const AccessPoint& b) {
  switch (criteria) {
    case Criteria::Bssid:
      return std::memcmp(a.bssid.data(), b.bssid.data(), a.bssid.size());
    case Criteria::Ssid:
      return compareSsid(a, b);
    case Criteria::Rssi:
      return compareFloat(a.rssi, b.rssi);
    case Criteria::Channel:
    case Criteria::Frequency:
      return threeWay(a.channel, b.channel);
    case Criteria::Mode:
      return modeSortText(a.phyModes).compare(modeSortText(b.phyModes));
    case Criteria::Count:
      return threeWay(a.sightings, b.sightings);
    case Criteria::Security:
      return threeWay(securityRank(a.security), securityRank(b.security));
    case Criteria::Utilization:
      return compareFloat(a.utilization, b.utilization);
    case Criteria::GradePercent:
    case Criteria::Grade:
      return compareFloat(a.grade, b.grade);
    default:
      return 0;
  }
}

}  // namespace

std::string modeSortText(uint8_t phyModes) {
  std::string text;
  if (phyModes & PHY_A) text += "a/";
  if (phyModes & PHY_B) text += "b/";
  if (phyModes & PHY_G) text += "g/";
  if (phyModes & PHY_N) text += "n/";
  if (phyModes & PHY_AC) text += "ac/";
  return text;
}

int securityRank(int32_t security) {
  switch (security) {
    case SECURITY_OPEN:
      return 0;
    case SECURITY_WEP:
      return 1;
    case SECURITY_WPA:
      return 2;
    case SECURITY_WPA2:
      return 3;
    case SECURITY_WPS:
      return 4;
    default:
      return 10;
  }
}

int compareSsid(const AccessPoint& a, const AccessPoint& b) {
  // A length from a damaged record never reads past the 32-byte field.
  const int lengthA = std::min<int>(a.ssidLength, SSID_MAX_LENGTH);
  const int lengthB = std::min<int>(b.ssidLength, SSID_MAX_LENGTH);
  const int common = std::min(lengthA, lengthB);
  auto folded = [](uint8_t byte) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<uint8_t>(byte - 'A' + 'a');
    return static_cast<int8_t>(byte);  // non-ASCII bytes sort before all ASCII
  };
  for (int i = 0; i < common; ++i) {
    const int8_t ca = folded(a.ssid[static_cast<size_t>(i)]);
    const int8_t cb = folded(b.ssid[static_cast<size_t>(i)]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return threeWay(lengthA, lengthB);
}

void mergeScan(AnalyzerModel& model, AccessPointBatch batch, int64_t nowMs) {
  const auto info = model.deviceInfo();
  ModelLock lock(model, LOCK_AP_LIST);
  auto& list = model.accessPoints;

  if (list.empty()) {
    // The first batch is taken as it is: its records are not compared with each other.
    for (auto& record : batch) {
      if (!record) continue;
      setUpNewEntry(*record, *info, nowMs);
      list.push_back(std::move(record));
    }
    return;
  }

  for (auto& record : batch) {
    if (!record) continue;
    auto found = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e->bssid == record->bssid; });
    if (found == list.end()) {
      setUpNewEntry(*record, *info, nowMs);
      list.push_back(std::move(record));
      continue;
    }
    AccessPoint& entry = **found;
    record->lastSeenMs = nowMs;
    record->sightings = std::min(entry.sightings, MAX_SIGHTINGS - 1) + 1;
    record->markerStartDbm = entry.markerDbm;
    record->markerDbm = entry.markerDbm;
    record->markerTargetDbm = record->rssi;
    record->markerColor = entry.markerColor;
    // Every other field, the utilisation results and the suggestion history included, takes the
    // new record's value (zero and empty until the next utilisation pass).
    entry = std::move(*record);
    record.reset();
  }
}

void sortAccessPoints(AnalyzerModel& model, int criteria, bool descending) {
  if (criteria <= Criteria::None || criteria > Criteria::Grade) return;
  auto& list = model.accessPoints;
  if (list.empty()) return;
  std::sort(list.begin(), list.end(), [criteria, descending](const auto& a, const auto& b) {
    return descending ? compareByCriteria(criteria, *b, *a) < 0 : compareByCriteria(criteria, *a, *b) < 0;
  });
}

void clearAccessPoints(AnalyzerModel& model) {
  ModelLock lock(model, LOCK_AP_LIST);
  model.accessPoints.clear();
  resetScanStatistics(model);
  model.runtime.scanCount = 0;
  model.runtime.apListChanged = true;
  model.runtime.apTableChanged = true;
}

void ageAccessPoints(AnalyzerModel& model, int64_t nowMs) {
  {
    ModelLock lock(model, LOCK_AP_LIST);
    std::erase_if(model.accessPoints,
                  [nowMs](const auto& e) { return !e || e->lastSeenMs + ACCESS_POINT_MAX_AGE_MS <= nowMs; });
  }
  model.runtime.apListChanged = true;
  model.runtime.apTableChanged = true;
}

void selectSortColumn(AnalyzerModel& model, SortTable table, int criteria) {
  if (criteria < Criteria::None || criteria > Criteria::Grade) return;
  const bool ssidTable = table == SortTable::Ssid;
  auto& key = ssidTable ? model.spectrum.ssidSortKey : model.spectrum.utilizationSortKey;
  auto& descending = ssidTable ? model.spectrum.ssidSortDescending : model.spectrum.utilizationSortDescending;
  if (criteria == static_cast<int>(key.load())) {
    descending = static_cast<uint8_t>(descending.load() ? 0 : 1);
  } else {
    key = static_cast<uint8_t>(criteria);
    descending = static_cast<uint8_t>(criteria == Criteria::Rssi ? 1 : 0);
  }
  (ssidTable ? model.runtime.apListChanged : model.runtime.apTableChanged) = true;
}

}  // namespace tarvo
