#include "accesspoints/model/Utilization.h"

#include <algorithm>
#include <cmath>

#include "accesspoints/model/ChannelGeometry.h"
#include "core/ValueFormat.h"

namespace tarvo {

namespace {

// The model's floor before any discovery; stands in for a floor the device left undefined.
constexpr float FALLBACK_FLOOR_DBM = -90.0f;

// Clamp that also maps NaN to a chosen value (std::clamp passes NaN through).
float clampOr(float v, float lo, float hi, float ifNaN) {
  if (std::isnan(v)) return ifNaN;
  return std::min(std::max(v, lo), hi);
}

// What one pass needs from the model, read once.
struct PassContext {
  const SweepHistory& history;
  const std::vector<std::unique_ptr<AccessPoint>>& list;
  const ScanStatistics& stats;
  float floorDbm;
  double binsPerMHz;
  // Whether list entry i is selected for optimisation, worked out once per pass.
  std::vector<char> selectedAt;

  static PassContext of(const AnalyzerModel& model) {
    const auto info = model.deviceInfo();
    const float floorDbm = std::isfinite(info->band1MinDbm) ? info->band1MinDbm : FALLBACK_FLOOR_DBM;
    PassContext ctx{model.band24.sweepHistory, model.accessPoints, model.scanStatistics, floorDbm,
                    static_cast<double>(info->band1BinsPerSweep) / 100.0, {}};
    ctx.selectedAt.reserve(model.accessPoints.size());
    for (const auto& e : model.accessPoints) ctx.selectedAt.push_back(e && selectionContains(ctx.stats, e->bssid));
    return ctx;
  }

  bool selected(size_t index) const { return selectedAt[index] != 0; }

  // Utilisation of the access point's span on channel n over the newest rows; 0 when it has
  // no span there.
  float utilizationOn(const AccessPoint& ap, int n) const {
    const auto edges = bandEdges(ap, n);
    if (!edges) return 0.0f;
    const double headroom = static_cast<double>(ap.rssi) - floorDbm;
    if (!(headroom > 0.0)) return 100.0f;  // at or below the floor: nothing left to share
    const BinSpan bins = binRange(*edges, binsPerMHz, history.rowBins());
    const int rows = std::min(UTILIZATION_ROWS, history.size());
    double sum = 0.0;
    long count = 0;
    for (int age = 0; age < rows; ++age) {
      const float* row = history.rowByAge(age);
      for (int bin = bins.first; bin <= bins.last; ++bin) {
        const float level = row[bin];
        if (!std::isfinite(level)) continue;  // a corrupt calibration must not poison the mean
        sum += level;
        ++count;
      }
    }
    if (count == 0) return 0.0f;
    const double mean = sum / static_cast<double>(count);
    return static_cast<float>(std::clamp((mean - floorDbm) / headroom * 100.0, -1e9, 1e9));
  }

  float weight(const AccessPoint& victim, const AccessPoint& other) const {
    return interferenceWeight(victim.rssi, other.rssi, floorDbm);
  }
};

// B is co-channel with A (primary channel c, secondary s) when they share a primary or a
// secondary channel in any combination; b and t are B's primary and secondary channels.
bool coChannel(int c, int s, int b, int t) {
  return b == c || (s != 0 && b == s) || (t != 0 && (t == c || (s != 0 && t == s)));
}

bool preferredPlanChannel(int n) { return n == 1 || n == 6 || n == 11; }

float weightedForPlan(float grade, int n) { return preferredPlanChannel(n) ? grade : grade * 0.75f; }

float gradeOn(const PassContext& ctx, const AccessPoint& a, int n) {
  if (a.band != BAND_2G4 || ctx.list.empty() || ctx.history.size() <= UTILIZATION_ROWS) return GRADE_UNAVAILABLE;
  float utilization = 0.0f, adjacent = 0.0f, co = 0.0f;
  if (n >= 1 && n <= 14) {
    utilization = ctx.utilizationOn(a, n);
    const int s = secondaryChannelOn(a, n);
    const ChannelSpan range = overlapRange(a, n).value_or(ChannelSpan{0, 0});
    for (size_t i = 0; i < ctx.list.size(); ++i) {
      if (!ctx.list[i]) continue;
      const AccessPoint& b = *ctx.list[i];
      if (b.band != a.band || b.bssid == a.bssid || ctx.selected(i)) continue;
      const int bc = b.channel;
      const int t = secondaryChannelOn(b, bc);
      if (coChannel(n, s, bc, t)) {
        co += ctx.weight(a, b);
      } else if (b.band == BAND_2G4 && range.first <= bc && bc <= range.last) {
        adjacent += ctx.weight(a, b);
      }
    }
  }
  return gradeFromComponents(a.rssi, utilization, adjacent, co);
}

void clearResults(AccessPoint& ap) {
  ap.utilization = 0.0f;
  ap.adjacentInterference = 0.0f;
  ap.coChannelInterference = 0.0f;
  ap.grade = 0.0f;
  ap.bestAlternativeGrade = 0.0f;
  ap.suggestedChannel = 0;
  ap.suggestionHistory.clear();
}

void suggestChannel(const PassContext& ctx, AccessPoint& a) {
  const int c = a.channel;
  int firstCandidate = 1, lastCandidate = 11;
  if (a.bandwidthMHz == 40) {
    if (a.secondaryChannel == 1) lastCandidate = 7;
    if (a.secondaryChannel == 2) firstCandidate = 5;
  }
  const float threshold = weightedForPlan(a.grade, c);
  bool found = false;
  for (int n = firstCandidate; n <= lastCandidate; ++n) {
    if (n == c) continue;
    const float g = weightedForPlan(gradeOn(ctx, a, n), n);
    // ">=" on both: of equal grades the higher channel wins.
    if (g >= threshold && g >= a.bestAlternativeGrade) {
      a.bestAlternativeGrade = g;
      a.suggestedChannel = static_cast<uint8_t>(n);
      found = true;
    }
  }
  // Without a better channel the current one is the suggestion. A channel number that does not
  // fit a history slot is kept as 0 ("none") rather than wrapped onto a real channel.
  appendSuggestion(a, found ? a.suggestedChannel : static_cast<uint8_t>(c <= 255 ? c : 0));
}

bool allZero(const Bssid& bssid) {
  return std::all_of(bssid.begin(), bssid.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace

void resetScanStatistics(AnalyzerModel& model) { model.scanStatistics.utilizationSkipCount = 0; }

void updateUtilization(AnalyzerModel& model, bool forced) {
  auto& stats = model.scanStatistics;
  if (model.band24.sweepHistory.size() < UTILIZATION_ROWS || (!forced && stats.utilizationSkipCount < UTILIZATION_SKIP)) {
    ++stats.utilizationSkipCount;  // uint8: wraps from 255 to 0
    return;
  }
  resetScanStatistics(model);

  const PassContext ctx = PassContext::of(model);
  auto& list = model.accessPoints;
  for (auto& entry : list)
    if (entry) clearResults(*entry);

  for (size_t i = 0; i < list.size(); ++i) {
    if (!list[i]) continue;
    AccessPoint& a = *list[i];
    if (a.band != BAND_2G4 || a.channel == 0) continue;
    const bool selected = ctx.selected(i);
    const int c = a.channel;

    a.utilization = ctx.utilizationOn(a, c);

    // Each pair is visited once, from its earlier entry: both sides get their weight now, so an
    // entry's sums are complete by the time its own turn comes.
    const int s = secondaryChannelOn(a, c);
    const ChannelSpan range = overlapRange(a, c).value_or(ChannelSpan{0, 0});
    for (size_t j = i + 1; j < list.size(); ++j) {
      if (!list[j]) continue;
      AccessPoint& b = *list[j];
      if (b.band != BAND_2G4 || ctx.selected(j)) continue;
      const int bc = b.channel;
      const int t = secondaryChannelOn(b, bc);
      if (coChannel(c, s, bc, t)) {
        a.coChannelInterference += ctx.weight(a, b);
        b.coChannelInterference += ctx.weight(b, a);
      } else if (range.first <= bc && bc <= range.last) {
        a.adjacentInterference += ctx.weight(a, b);
        b.adjacentInterference += ctx.weight(b, a);
      }
    }

    a.grade = gradeFromComponents(a.rssi, a.utilization, a.adjacentInterference, a.coChannelInterference);
    if (selected) suggestChannel(ctx, a);
  }
}

float gradeOnChannel(const AnalyzerModel& model, const AccessPoint* ap, int n) {
  if (ap == nullptr) return GRADE_UNAVAILABLE;
  return gradeOn(PassContext::of(model), *ap, n);
}

uint8_t preferredChannel(const AccessPoint& ap) {
  std::array<int, 14> votes{};
  for (uint8_t channel : ap.suggestionHistory)
    if (channel >= 1 && channel <= 13) ++votes[channel];
  uint8_t best = 0;
  for (int channel = 1; channel <= 13; ++channel)
    if (votes[static_cast<size_t>(channel)] > (best == 0 ? 0 : votes[best])) best = static_cast<uint8_t>(channel);
  return best;
}

void appendSuggestion(AccessPoint& ap, uint8_t channel) {
  auto& history = ap.suggestionHistory;
  if (history.size() >= SUGGESTION_HISTORY_MAX)
    history.erase(history.begin(), history.begin() + static_cast<long>(history.size() - (SUGGESTION_HISTORY_MAX - 1)));
  history.push_back(channel);
}

float interferenceWeight(float victimRssi, float otherRssi, float floorDbm) {
  const float x = victimRssi - floorDbm;
  const float y = otherRssi - floorDbm;
  if (!(x > 0.0f)) return 2.0f;
  return clampOr(2.0f * (y - x) / x + 1.0f, 0.0f, 2.0f, 0.0f);
}

float gradeFromComponents(float rssi, float utilization, float adjacentInterference, float coChannelInterference) {
  const float r = clampOr((rssi + 100.0f) / 80.0f, 0.0f, 1.0f, 0.0f) * 100.0f;
  const float u = clampOr(utilization, 0.0f, 100.0f, 100.0f);
  const float j = clampOr(1.0f - adjacentInterference / 10.0f, 0.0f, 1.0f, 0.0f) * 100.0f;
  const float c = clampOr(1.0f - coChannelInterference / 10.0f, 0.0f, 1.0f, 0.0f) * 100.0f;
  return clampOr(0.5f * r + 20.0f + 0.1f * (100.0f - u) + 0.25f * j + 0.15f * c, 0.0f, 100.0f, 0.0f);
}

bool addToSelection(ScanStatistics& stats, const Bssid& bssid) {
  if (allZero(bssid)) return false;
  for (auto& slot : stats.optimizationSelection) {
    if (allZero(slot)) {
      slot = bssid;
      return true;
    }
  }
  return false;
}

bool removeFromSelection(ScanStatistics& stats, const Bssid& bssid) {
  if (allZero(bssid)) return false;
  for (auto& slot : stats.optimizationSelection) {
    if (slot == bssid) {
      slot.fill(0);
      return true;
    }
  }
  return false;
}

bool selectionContains(const ScanStatistics& stats, const Bssid& bssid) {
  return std::any_of(stats.optimizationSelection.begin(), stats.optimizationSelection.end(),
                     [&](const Bssid& slot) { return slot == bssid; });
}

std::string channelSuffix(const AccessPoint& ap) {
  if (ap.bandwidthMHz != 40 || (ap.band != BAND_2G4 && ap.band != BAND_5G)) return {};
  if (ap.secondaryChannel == 1) return "L";
  if (ap.secondaryChannel == 2) return "U";
  return {};
}

std::string channelLabel(const AccessPoint& ap) {
  return formatC("%d%s", static_cast<int>(ap.channel), channelSuffix(ap).c_str());
}

std::string utilizationChannelText(const ScanStatistics& stats, const AccessPoint& ap) {
  if (!selectionContains(stats, ap.bssid)) return channelLabel(ap);
  const int c = ap.channel;
  const int p = preferredChannel(ap);
  const std::string x = channelSuffix(ap);
  if (p == c) return formatC("%d%s", c, x.c_str());
  if (p == 0) return formatC("%d%s->?", c, x.c_str());
  return formatC("%d%s->%d%s", c, x.c_str(), p, x.c_str());
}

float shownGrade(float grade) { return clampOr(grade, 0.0f, 100.0f, 0.0f); }

const char* gradeLetter(float grade) {
  const float g = shownGrade(grade);
  if (g >= 90.0f) return "A";
  if (g >= 80.0f) return "B";
  if (g >= 70.0f) return "C";
  if (g >= 60.0f) return "D";
  return "F";
}

}  // namespace tarvo
