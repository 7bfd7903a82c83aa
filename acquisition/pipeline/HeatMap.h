// The heat map of one band: for each (amplitude level, bin) the number of the newest (at most
// 50) history rows whose value fell into that level. Level-major: cell[level * bins + bin].
//
// Level of a value v: v * scale + offset rounded to the nearest integer (halves away from
// zero), with scale = (L - 1) / (hi - lo) and offset = -lo * scale for the band's dBm range
// lo..hi and L levels. Values below the range, NaN and anything a hostile device may send land
// in level 0, values above it in level L - 1, so a cell index is always inside the map.
//
// HeatMapCounter keeps the counts incrementally: each new row is added and the row that leaves
// the 50-row window is subtracted, so a sweep costs the same whatever the history holds. The
// counts stay private; the store gets a copy, because the trace layer accumulates the
// published map in place. While the published map is still exactly the last copy (the layer
// has not consumed it: heatMapDirty still set, heatMapAccumulated clear) the same changes are
// applied to it instead of copying the whole map again.
#pragma once

#include <cstdint>
#include <vector>

#include "core/AnalyzerModel.h"

namespace tarvo {

constexpr int HEAT_MAP_WINDOW_ROWS = 50;
// Amplitude codes are one byte, so a band never has more than 256 levels.
constexpr uint32_t HEAT_MAP_MAX_LEVELS = 256;

// Level count actually used for a band: the device's value clamped to 1 ... 256.
inline uint32_t heatMapLevelsFor(uint32_t deviceLevels) {
  return deviceLevels < 1 ? 1 : (deviceLevels > HEAT_MAP_MAX_LEVELS ? HEAT_MAP_MAX_LEVELS : deviceLevels);
}

struct HeatMapScale {
  float scale = 0.0f;
  float offset = 0.0f;
};
HeatMapScale heatMapScaleFor(uint32_t levels, float loDbm, float hiDbm);

// Level of one value, always in 0 ... levels - 1 (levels >= 1).
inline uint32_t heatMapLevel(float value, HeatMapScale s, uint32_t levels) {
  const float x = value * s.scale + s.offset;
  if (!(x > 0.0f)) return 0;  // NaN, zero and everything below the range
  if (x >= static_cast<float>(levels) - 0.5f) return levels - 1;
  // 0 < x < levels - 0.5 <= 255.5: the fraction is exact, so this is round-half-away.
  const uint32_t whole = static_cast<uint32_t>(x);
  return whole + ((x - static_cast<float>(whole)) >= 0.5f ? 1u : 0u);
}

class HeatMapCounter {
 public:
  // Call after a row was appended to store.sweepHistory (caller holds spectrumMutex). Brings the
  // counts up to date for `levels` levels (1 ... 256) over the first `bins` bins and publishes
  // them into the store's heat map (sets heatMapDirty and heatMapChanged).
  void rowAppended(SpectrumStore& store, uint32_t levels, int bins, float loDbm, float hiDbm);
  // Forget everything; the next row rebuilds from the history.
  void invalidate() { valid_ = false; }

  const std::vector<uint16_t>& counts() const { return counts_; }

 private:
  void rebuild(const SweepHistory& history);
  void addRow(const float* row, uint16_t* published);
  void removeRow(const float* row, uint16_t* published);

  std::vector<uint16_t> counts_;
  uint32_t levels_ = 0;
  int bins_ = 0;
  HeatMapScale scale_{};
  int historySize_ = 0;  // history rows after the last update
  bool valid_ = false;
};

}  // namespace tarvo
