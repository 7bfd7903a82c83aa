// Everything the packet handler and the controller leave in the model and the link state,
// compared bit for bit (NaN equals NaN), for the chunking-independence tests.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"

namespace tarvo::testing {

inline std::vector<uint32_t> floatBits(const float* v, size_t n) {
  std::vector<uint32_t> out(n);
  if (n) std::memcpy(out.data(), v, n * sizeof(float));
  return out;
}

struct ModelSnapshot {
  std::vector<uint32_t> history[2];
  int32_t lastSweepBins[2] = {};
  std::vector<uint16_t> heatMap[2];
  int32_t heatMapBins[2] = {}, heatMapLevels[2] = {};
  std::vector<std::vector<uint32_t>> powerTraces;
  std::vector<uint32_t> rollSamples;
  std::vector<uint32_t> measurements;
  std::vector<std::string> accessPoints;
  uint32_t scanCount = 0;
  int32_t triggerStatus = 0, acquisitionPause = 0;
  uint8_t generation = 0;
  int32_t state = 0;
  bool discovered = false, scanDue = false, reconfigure = false;
  uint32_t scanFrames = 0;

  bool operator==(const ModelSnapshot&) const = default;

  static ModelSnapshot of(AccessoryCommunicationDelegate& d) {
    AnalyzerModel& m = d.model();
    ModelSnapshot s;
    ModelLock lock(m, LOCK_ALL);
    for (int b = 0; b < 2; ++b) {
      const SpectrumStore& store = m.spectrumStore(b);
      const auto flat = store.sweepHistory.flatten();
      s.history[b] = floatBits(flat.data(), flat.size());
      s.lastSweepBins[b] = store.lastSweepBins;
      s.heatMap[b] = store.heatMap;
      s.heatMapBins[b] = store.heatMapBins;
      s.heatMapLevels[b] = store.heatMapLevels;
    }
    for (const auto& t : m.powerTraces()) s.powerTraces.push_back(floatBits(t.data(), t.size()));
    s.rollSamples = floatBits(m.rollSamples().data(), m.rollSamples().size());
    s.measurements = floatBits(m.powerMeasurements.data(), m.powerMeasurements.size());
    for (const auto& ap : m.accessPoints)
      s.accessPoints.push_back(ap->bssidText() + ap->ssidText() + std::to_string(ap->rssi) + "/" +
                               std::to_string(ap->sightings) + "/" + std::to_string(ap->channel));
    s.scanCount = m.runtime.scanCount;
    s.triggerStatus = m.runtime.triggerStatus;
    s.acquisitionPause = m.runtime.acquisitionPause;
    s.generation = m.deviceInfo()->generationCode;
    const LinkState& l = d.linkState();
    s.state = l.state;
    s.discovered = l.discovered;
    s.scanDue = l.scanDue;
    s.reconfigure = l.reconfigure;
    s.scanFrames = l.scanFrames;
    return s;
  }
};

}  // namespace tarvo::testing
