#include "core/AnalyzerModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarvo {

// ---------------------------------------------------------------------------------------------
// SweepHistory

SweepHistory::SweepHistory(int rowBins, int depth)
    : rowBins_(rowBins), depth_(depth), cells_(static_cast<size_t>(rowBins) * depth, 0.0f) {}

const float* SweepHistory::row(int index) const {
  const int slot = (head_ + index) % depth_;
  return cells_.data() + static_cast<size_t>(slot) * rowBins_;
}

void SweepHistory::append(const float* values, int count) {
  int slot;
  if (size_ < depth_) {
    slot = (head_ + size_) % depth_;
    ++size_;
  } else {
    slot = head_;
    head_ = (head_ + 1) % depth_;
  }
  float* dst = cells_.data() + static_cast<size_t>(slot) * rowBins_;
  const int n = std::clamp(count, 0, rowBins_);
  if (n > 0) std::memcpy(dst, values, sizeof(float) * n);
  std::fill(dst + n, dst + rowBins_, 0.0f);
}

std::vector<float> SweepHistory::flatten() const {
  std::vector<float> out;
  out.reserve(static_cast<size_t>(size_) * rowBins_);
  for (int i = 0; i < size_; ++i) out.insert(out.end(), row(i), row(i) + rowBins_);
  return out;
}

// ---------------------------------------------------------------------------------------------
// SpectrumStore

SpectrumStore::SpectrumStore(int bins) : rowBins(bins), sweepHistory(bins, HISTORY_DEPTH) { reset(); }

void SpectrumStore::reset() {
  sweepHistory.clear();
  lastSweepBins = -1;
  historyDepth = HISTORY_DEPTH;
  newSweep = true;
  for (auto* t : {&rawTrace, &decayTrace, &maxHoldTrace, &minHoldTrace, &averageTrace}) t->assign(rowBins, 0.0f);
  processedBins = 0;
  for (auto& table : peakTables) table.fill(PeakEntry{});
  tracesProcessed = false;
  heatMap.clear();
  heatMapBins = 0;
  heatMapLevels = 0;
  heatMapDirty = true;
  heatMapAccumulated = false;
  heatMapChanged = true;
}

void PowerHistory::clear() {
  history.clear();
  processedHistory.clear();
  alpha.clear();
  rollingHistory.clear();
  processedRollingHistory.clear();
  maxRollPointsNeeded = 0;
  timeScaleIndex = -1;
  amplitudeScaleIndex = -1;
  isValid = false;
}

// ---------------------------------------------------------------------------------------------
// ModelLock

ModelLock::ModelLock(AnalyzerModel& model, unsigned set) : model_(model), set_(set) {
  if (set_ & LOCK_SPECTRUM) lockPolling(model_.spectrumMutex);
  if (set_ & LOCK_AP_LIST) lockPolling(model_.apListMutex);
  if (set_ & LOCK_POWER) lockPolling(model_.powerMutex);
}

ModelLock::~ModelLock() {
  if (set_ & LOCK_POWER) model_.powerMutex.unlock();
  if (set_ & LOCK_AP_LIST) model_.apListMutex.unlock();
  if (set_ & LOCK_SPECTRUM) model_.spectrumMutex.unlock();
}

// ---------------------------------------------------------------------------------------------
// AnalyzerModel

AnalyzerModel& AnalyzerModel::getInstance() {
  static AnalyzerModel* instance = new AnalyzerModel();  // never destroyed
  return *instance;
}

AnalyzerModel::AnalyzerModel() {
  deviceInfo_.store(std::make_shared<const DeviceInfo>());
  powerMeasurements.fill(notAvailable());
  resetSettings();
}

void AnalyzerModel::resetSettings() {
  graticule = 31;
  alerts = 3;
  cursors = CursorSettings{};
  common = CommonSettings{};
  spectrum = SpectrumSettings{};
  power = PowerSettings{};
  powerChannel = ChannelStyle{};
  referenceChannel = ChannelStyle{};
  referenceChannel.enabled = 0;
  referenceChannel.color[0] = 255;
  referenceChannel.color[1] = 255;
  referenceChannel.color[2] = 255;
  demo = DemoSettings{};
  reference.clear();
}

void AnalyzerModel::resetSpectrumData() {
  band24.reset();
  band5.reset();
  accessPoints.clear();
  scanStatistics.utilizationSkipCount = 0;  // the optimisation selection is kept
  runtime.scanCount = 0;
  runtime.apListChanged = true;
  runtime.apTableChanged = true;
}

void AnalyzerModel::resetPowerData() {
  live.history.clear();
  live.processedHistory.clear();
  live.alpha.clear();
  live.rollingHistory.clear();
  live.processedRollingHistory.clear();
  powerDataChanged = true;
  // The read-out reads these without a lock, field by field, as relaxed atomics.
  for (float& m : powerMeasurements) std::atomic_ref<float>(m).store(notAvailable(), std::memory_order_relaxed);
}

void AnalyzerModel::resetCursorSamples() { cursorSamples = CursorSamples{}; }

namespace {
int clampedTimebaseIndex(int index, size_t size) {
  return std::min(std::max(index, 0), static_cast<int>(size) - 1);
}
}  // namespace

bool AnalyzerModel::isRollMode() const {
  const auto info = deviceInfo();
  if (info->timebaseTable.empty()) return false;
  return clampedTimebaseIndex(power.timebaseIndex, info->timebaseTable.size()) < info->rollTimebaseCount;
}

float AnalyzerModel::secondsPerDivision() const {
  const auto info = deviceInfo();
  if (info->timebaseTable.empty()) return 0.0f;
  return info->timebaseTable[clampedTimebaseIndex(power.timebaseIndex, info->timebaseTable.size())];
}

bool AnalyzerModel::nextTimebase() {
  const auto info = deviceInfo();
  const int next = power.timebaseIndex + 1;
  if (info->timebaseTable.empty() || next < 0 || next >= static_cast<int>(info->timebaseTable.size())) return false;
  power.timebaseIndex = next;
  return true;
}

bool AnalyzerModel::nextPowerScale() {
  const auto info = deviceInfo();
  const int next = power.powerScaleIndex + 1;
  if (info->amplitudeScaleTable.empty() || next < 0 || next >= static_cast<int>(info->amplitudeScaleTable.size()))
    return false;
  power.powerScaleIndex = next;
  return true;
}

float AnalyzerModel::attenuationOffsetDb() const {
  if (!runtime.accessoryConnected) return 0.0f;
  const auto info = deviceInfo();
  float offset = common.externalAttenuationDb;
  const int index = common.internalAttenuationIndex;
  const int count = std::min<int>(info->internalAttenuationCount, static_cast<int>(info->internalAttenuations.size()));
  if (index >= 0 && index < count) offset += info->internalAttenuations[index];
  return offset;
}

float AnalyzerModel::dBmToMilliwatt(float dbm) {
  if (std::isnan(dbm)) return dbm;
  return std::pow(10.0f, dbm / 10.0f);
}

float AnalyzerModel::milliwattToDbm(float mw) {
  if (std::isnan(mw)) return mw;
  return 10.0f * std::log10(mw);
}

void AnalyzerModel::setSsidRefreshSeconds(float seconds) {
  if (std::isnan(seconds)) seconds = 0.0f;
  spectrum.ssidRefreshSeconds = std::clamp(seconds, 0.0f, 120.0f);
}

}  // namespace tarvo
