#include "acquisition/pipeline/HeatMap.h"

#include <algorithm>
#include <cstring>

namespace tarvo {

HeatMapScale heatMapScaleFor(uint32_t levels, float loDbm, float hiDbm) {
  HeatMapScale s;
  s.scale = static_cast<float>(levels - 1) / (hiDbm - loDbm);
  s.offset = -loDbm * s.scale;
  return s;
}

namespace {
bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Whether a published map of `rows` rows may have been accumulated by the trace layer.
// Accumulating a column from the top leaves the column's total, `rows`, in level 0 of every bin;
// a map as published has fewer there in some bin, unless all its counts are in level 0, and
// then both forms are the same map anyway. Flags alone do not tell: a redraw request that
// sets heatMapDirty without heatMapAccumulated makes an accumulated map look fresh.
bool mayBeAccumulated(const std::vector<uint16_t>& cells, int bins, int rows) {
  for (int j = 0; j < bins; ++j)
    if (cells[static_cast<size_t>(j)] != rows) return false;
  return true;
}
}  // namespace

void HeatMapCounter::computeLevels(const float* __restrict row, uint8_t* __restrict levels) const {
  // Locals, so the byte stores cannot alias the members and the loop converts in vectors.
  const int k = bins_;
  const HeatMapScale scale = scale_;
  const uint32_t count = levels_;
  for (int j = 0; j < k; ++j) levels[j] = static_cast<uint8_t>(heatMapLevel(row[j], scale, count));
}

void HeatMapCounter::count(uint16_t* cells, const uint8_t* levels, int delta) const {
  const int k = bins_;
  const uint16_t d = static_cast<uint16_t>(delta);
  for (int j = 0; j < k; ++j) cells[static_cast<size_t>(levels[j]) * k + j] += d;
}

void HeatMapCounter::republish(SpectrumStore& store, int windowRows) {
  store.heatMap.assign(static_cast<size_t>(levels_) * bins_, 0);
  for (int age = 0; age < windowRows; ++age) count(store.heatMap.data(), levelRow(slotOfAge(age)), 1);
}

void HeatMapCounter::rowAppended(SpectrumStore& store, uint32_t levels, int bins, float loDbm, float hiDbm) {
  const SweepHistory& history = store.sweepHistory;
  levels = heatMapLevelsFor(levels);
  bins = std::clamp(bins, 0, history.rowBins());
  const HeatMapScale scale = heatMapScaleFor(levels, loDbm, hiDbm);
  const size_t cellCount = static_cast<size_t>(levels) * bins;
  const int windowRows = std::min(HEAT_MAP_WINDOW_ROWS, history.size());

  // The remembered levels follow on from the last update only when nothing else changed in
  // between: same geometry and scale, exactly one row more in the history, and the store not
  // reset (a reset empties the published map).
  const int expectedSize = std::min(historySize_ + 1, history.depth());
  const bool follows = valid_ && levels == levels_ && bins == bins_ && sameBits(scale.scale, scale_.scale) &&
                       sameBits(scale.offset, scale_.offset) && history.size() == expectedSize &&
                       store.heatMapBins == bins && store.heatMapLevels == static_cast<int32_t>(levels) &&
                       store.heatMap.size() == cellCount;
  // The published map may be updated in place only while it is still our last copy.
  const bool publishedIntact =
      follows && store.heatMapDirty && !store.heatMapAccumulated &&
      !mayBeAccumulated(store.heatMap, bins, std::min(HEAT_MAP_WINDOW_ROWS, historySize_));

  if (!follows) {
    levels_ = levels;
    bins_ = bins;
    scale_ = scale;
    levelRows_.assign(static_cast<size_t>(HEAT_MAP_WINDOW_ROWS) * bins_, 0);
    head_ = 0;
    for (int age = 0; age < windowRows; ++age) computeLevels(history.rowByAge(age), levelRow(slotOfAge(age)));
    republish(store, windowRows);
  } else {
    // The slot after the newest holds the oldest row of the window, the one that leaves it.
    head_ = (head_ + 1) % HEAT_MAP_WINDOW_ROWS;
    uint8_t* slot = levelRow(head_);
    if (publishedIntact && history.size() > HEAT_MAP_WINDOW_ROWS) count(store.heatMap.data(), slot, -1);
    computeLevels(history.rowByAge(0), slot);
    if (publishedIntact)
      count(store.heatMap.data(), slot, 1);
    else
      republish(store, windowRows);
  }
  historySize_ = history.size();
  valid_ = true;
  store.heatMapBins = bins;
  store.heatMapLevels = static_cast<int32_t>(levels);
  store.heatMapDirty = true;
  store.heatMapChanged = true;
}

}  // namespace tarvo
