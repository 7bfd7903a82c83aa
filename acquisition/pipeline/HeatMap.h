// The heat map of one band: for each (amplitude level, bin) the number of the newest (at most
// 50) history rows whose value fell into that level. Level-major: cell[level * bins + bin].
//
// Level of a value v: v * scale + offset rounded to the nearest integer (halves away from
// zero), with scale = (L - 1) / (hi - lo) and offset = -lo * scale for the band's dBm range
// lo..hi and L levels. Values below the range, NaN and anything a hostile device may send land
// in level 0, values above it in level L - 1, so a cell index is always inside the map.
//
// HeatMapCounter keeps the map incrementally. It remembers the levels of the rows inside the
// 50-row window; each new row is added and the row that leaves the window is subtracted by its
// remembered levels, so a sweep costs the same whatever the history holds beyond the window.
// The trace layer accumulates the published map in place, so the update is applied to it only
// while it is still exactly what was last published (heatMapDirty still set,
// heatMapAccumulated clear, and its level-0 row not that of an accumulated map); otherwise the
// map is rebuilt from the remembered levels, at most 50 row passes, as often as the layer
// consumes it.
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

// Level of one value, always in 0 ... levels - 1 (levels >= 1). Written without branches so
// that a row converts in a vector loop: clamping into 0 ... levels - 1 first (NaN fails the
// comparison and becomes 0) leaves every result where rounding the unclamped value and then
// clamping would put it, and below 256 the fraction is exact, so this is round-half-away.
inline uint32_t heatMapLevel(float value, HeatMapScale s, uint32_t levels) {
  float x = value * s.scale + s.offset;
  x = x > 0.0f ? x : 0.0f;
  const float top = static_cast<float>(levels - 1);
  x = x < top ? x : top;
  const int32_t whole = static_cast<int32_t>(x);
  return static_cast<uint32_t>(whole + ((x - static_cast<float>(whole)) >= 0.5f ? 1 : 0));
}

class HeatMapCounter {
 public:
  // Call after a row was appended to store.sweepHistory (caller holds spectrumMutex). Brings the
  // map up to date for `levels` levels (clamped to 1 ... 256) over the first `bins` bins and
  // publishes it into the store (sets heatMapDirty and heatMapChanged).
  void rowAppended(SpectrumStore& store, uint32_t levels, int bins, float loDbm, float hiDbm);
  // Forget everything; the next row rebuilds from the history.
  void invalidate() { valid_ = false; }

 private:
  uint8_t* levelRow(int slot) { return levelRows_.data() + static_cast<size_t>(slot) * bins_; }
  int slotOfAge(int age) const { return (head_ - age + HEAT_MAP_WINDOW_ROWS) % HEAT_MAP_WINDOW_ROWS; }
  void computeLevels(const float* row, uint8_t* levels) const;
  // Separate passes per array: interleaving scattered updates of two maps costs far more.
  void count(uint16_t* cells, const uint8_t* levels, int delta) const;
  void republish(SpectrumStore& store, int windowRows);

  // Levels of the rows inside the window, one ring slot per row; slot head_ is the newest.
  std::vector<uint8_t> levelRows_;
  int head_ = 0;
  uint32_t levels_ = 0;
  int bins_ = 0;
  HeatMapScale scale_{};
  int historySize_ = 0;  // history rows after the last update
  bool valid_ = false;
};

}  // namespace tarvo
