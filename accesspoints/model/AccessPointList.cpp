#include "accesspoints/model/AccessPointList.h"

#include <algorithm>

namespace tarvo {

// Minimal placeholder until the list rules land: append new BSSIDs, update known ones.
void mergeScan(AnalyzerModel& model, AccessPointBatch batch, int64_t nowMs) {
  ModelLock lock(model, LOCK_AP_LIST);
  for (auto& ap : batch) {
    if (!ap) continue;
    auto it = std::find_if(model.accessPoints.begin(), model.accessPoints.end(),
                           [&](const auto& e) { return e->bssid == ap->bssid; });
    ap->lastSeenMs = nowMs;
    if (it == model.accessPoints.end()) {
      ap->sightings = 1;
      model.accessPoints.push_back(std::move(ap));
    } else {
      (*it)->rssi = ap->rssi;
      (*it)->lastSeenMs = nowMs;
      (*it)->sightings = std::min<uint32_t>((*it)->sightings + 1, 9999);
    }
  }
}

void sortAccessPoints(AnalyzerModel&, int, bool) {}

void clearAccessPoints(AnalyzerModel& model) {
  ModelLock lock(model, LOCK_AP_LIST);
  model.accessPoints.clear();
  model.scanStatistics.utilizationSkipCount = 0;
  model.runtime.scanCount = 0;
  model.runtime.apListChanged = true;
  model.runtime.apTableChanged = true;
}

void ageAccessPoints(AnalyzerModel&, int64_t) {}

}  // namespace tarvo
