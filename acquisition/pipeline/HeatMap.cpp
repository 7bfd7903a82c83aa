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
}  // namespace

void HeatMapCounter::addRow(const float* row, uint16_t* published) {
  uint16_t* cells = counts_.data();
  const int k = bins_;
  for (int j = 0; j < k; ++j) {
    const size_t cell = static_cast<size_t>(heatMapLevel(row[j], scale_, levels_)) * k + j;
    ++cells[cell];
    if (published) ++published[cell];
  }
}

void HeatMapCounter::removeRow(const float* row, uint16_t* published) {
  uint16_t* cells = counts_.data();
  const int k = bins_;
  for (int j = 0; j < k; ++j) {
    const size_t cell = static_cast<size_t>(heatMapLevel(row[j], scale_, levels_)) * k + j;
    --cells[cell];
    if (published) --published[cell];
  }
}

void HeatMapCounter::rebuild(const SweepHistory& history) {
  counts_.assign(static_cast<size_t>(levels_) * bins_, 0);
  const int window = std::min(HEAT_MAP_WINDOW_ROWS, history.size());
  for (int age = 0; age < window; ++age) addRow(history.rowByAge(age), nullptr);
}

void HeatMapCounter::rowAppended(SpectrumStore& store, uint32_t levels, int bins, float loDbm, float hiDbm) {
  const SweepHistory& history = store.sweepHistory;
  levels = heatMapLevelsFor(levels);
  bins = std::clamp(bins, 0, history.rowBins());
  const HeatMapScale scale = heatMapScaleFor(levels, loDbm, hiDbm);
  const size_t cellCount = static_cast<size_t>(levels) * bins;

  // The counts follow on from the last update only when nothing else changed in between: same
  // geometry and scale, and exactly one row more in the history (a store reset or a row that
  // was never counted forces a rebuild).
  const int expectedSize = std::min(historySize_ + 1, history.depth());
  const bool follows = valid_ && levels == levels_ && bins == bins_ && sameBits(scale.scale, scale_.scale) &&
                       sameBits(scale.offset, scale_.offset) && history.size() == expectedSize &&
                       store.heatMapBins == bins && store.heatMapLevels == static_cast<int32_t>(levels);
  // The published map may be updated in place only while it is still our last copy.
  const bool publishedIntact = follows && store.heatMapDirty && !store.heatMapAccumulated &&
                               store.heatMap.size() == cellCount;

  levels_ = levels;
  bins_ = bins;
  scale_ = scale;
  historySize_ = history.size();
  valid_ = true;

  if (!follows) {
    rebuild(history);
  } else {
    uint16_t* published = publishedIntact ? store.heatMap.data() : nullptr;
    addRow(history.rowByAge(0), published);
    if (history.size() > HEAT_MAP_WINDOW_ROWS) removeRow(history.rowByAge(HEAT_MAP_WINDOW_ROWS), published);
  }
  if (!publishedIntact) store.heatMap.assign(counts_.begin(), counts_.end());
  store.heatMapBins = bins;
  store.heatMapLevels = static_cast<int32_t>(levels);
  store.heatMapDirty = true;
  store.heatMapChanged = true;
}

}  // namespace tarvo
