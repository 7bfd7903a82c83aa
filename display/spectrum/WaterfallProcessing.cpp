#include "display/spectrum/WaterfallProcessing.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

int waterfallZoomDivisor(int option) {
  switch (option) {
    case 1: return 2;
    case 2: return 5;
    default: return 1;
  }
}

int sanitizeZoomOption(int option) { return (option >= 0 && option <= 2) ? option : 1; }

WaterfallColorScale::WaterfallColorScale(float topDbm, float bottomDbm)
    : top(topDbm), bottom(bottomDbm), scale(255.0f / (topDbm - bottomDbm)), offset(-scale * bottomDbm) {}

int WaterfallColorScale::index(float value) const {
  const float x = value * scale + offset;
  if (!(x > 0.0f)) return 0;
  if (x >= static_cast<float>(WATERFALL_COLOR_ENTRIES - 1)) return WATERFALL_COLOR_ENTRIES - 1;
  return static_cast<int>(x);
}

int waterfallBinCount(const SpectrumStore& store) {
  const int n = store.lastSweepBins;
  if (n < 0) return store.rowBins;
  return std::min(n, store.rowBins);
}

WaterfallPicture buildWaterfallRows(const SpectrumStore& store, int binsShown, const WaterfallColorScale& scale,
                                    const Rgb* table, uint8_t* buffer, size_t bufferBytes) {
  WaterfallPicture pic;
  const SweepHistory& history = store.sweepHistory;
  const int total = history.size();
  const int bins = waterfallBinCount(store);
  if (total == 0 || bins <= 0) return pic;
  const int rows = std::min(total, WATERFALL_ROWS);
  if (static_cast<size_t>(rows) * bins * 4 > bufferBytes || bins > WATERFALL_TEXTURE_WIDTH) {
    pic.tooLarge = true;
    return pic;
  }
  const Rgb last = table[WATERFALL_COLOR_ENTRIES - 1];
  // Bins past the shown count stay transparent (a bin equal to the count is still drawn).
  const int shownEnd = std::clamp(binsShown + 1, 0, bins);
  uint8_t* out = buffer;
  for (int r = 0; r < rows; ++r) {
    const float* row = history.row(total - rows + r);
    int i = 0;
    for (; i < shownEnd; ++i, out += 4) {
      const float v = row[i];
      if (scale.hidden(v)) {
        out[0] = out[1] = out[2] = out[3] = 0;
        continue;
      }
      const Rgb c = v < scale.top ? table[scale.index(v)] : last;
      out[0] = c.r;
      out[1] = c.g;
      out[2] = c.b;
      out[3] = 255;
    }
    for (; i < bins; ++i, out += 4) out[0] = out[1] = out[2] = out[3] = 0;
  }
  pic.empty = false;
  pic.rows = rows;
  pic.bins = bins;
  return pic;
}

namespace {

// The strongest-first insertion of the peak tables: a later entry needs a strictly greater
// value to go before an earlier one.
void insertStrongest(MarkerSlot* group, int index, float value) {
  for (int s = 0; s < WATERFALL_MARKERS_PER_GROUP; ++s) {
    if (group[s].index < 0 || group[s].value < value) {
      for (int k = WATERFALL_MARKERS_PER_GROUP - 1; k > s; --k) group[k] = group[k - 1];
      group[s] = MarkerSlot{index, value};
      return;
    }
  }
}

}  // namespace

int findWaterfallMarkers(const SpectrumStore& store, const WaterfallMarkerInput& in, const WaterfallColorScale& scale,
                         std::array<MarkerSlot, MARKER_SLOT_COUNT>& slots, WaterfallMarker* out) {
  slots.fill(MarkerSlot{});
  const SweepHistory& history = store.sweepHistory;
  const int total = history.size();
  const int bins = waterfallBinCount(store);
  if (total == 0 || bins <= 0 || !(in.width > 0.0f) || !(in.height > 0.0f)) return 0;
  const float W = in.width, H = in.height;
  const int d = in.zoomDivisor > 0 ? in.zoomDivisor : 1;
  const int rowMarkers = std::clamp(in.rowMarkers, 0, WATERFALL_MARKERS_PER_GROUP);
  const int columnMarkers = std::clamp(in.columnMarkers, 0, WATERFALL_MARKERS_PER_GROUP);
  const float bottom = scale.bottom;
  int count = 0;

  for (int k = 0; k < 2; ++k) {
    MarkerSlot* rowGroup = slots.data() + (2 * k) * WATERFALL_MARKERS_PER_GROUP;
    MarkerSlot* columnGroup = rowGroup + WATERFALL_MARKERS_PER_GROUP;

    // Horizontal line: the sweep of the age under it.
    const float y = in.cursorY[k];
    const double ageF = (499.0 / d) * (H - y) / H;
    if (ageF >= 0.0 && ageF < total) {
      const int age = static_cast<int>(ageF);
      const float* row = history.rowByAge(age);
      for (int i = 0; i < bins; ++i)
        if (row[i] >= bottom) insertStrongest(rowGroup, i, row[i]);
      for (int s = 0; s < rowMarkers && rowGroup[s].index >= 0; ++s)
        out[count++] = WaterfallMarker{(rowGroup[s].index + 0.5f) * W / bins, y, scale.entryFor(rowGroup[s].value)};
    }

    // Vertical line: the bin under it through the rows on screen, newest first.
    const float x = in.cursorX[k];
    const double binF = static_cast<double>(bins) * x / W;
    if (binF >= 0.0 && binF < std::min(in.binsShown, bins)) {
      const int bin = static_cast<int>(binF);
      const int rows = std::min(total, WATERFALL_ROWS / d);
      for (int age = 0; age < rows; ++age) {
        const float v = history.rowByAge(age)[bin];
        if (v >= bottom) insertStrongest(columnGroup, age, v);
      }
      const float rowsPerHeight = 1.0f - static_cast<float>(WATERFALL_ROWS) / static_cast<float>(d);
      for (int s = 0; s < columnMarkers && columnGroup[s].index >= 0; ++s)
        out[count++] = WaterfallMarker{x, H + columnGroup[s].index * H / rowsPerHeight,
                                       scale.entryFor(columnGroup[s].value)};
    }
  }
  return count;
}

void dragThreshold(int dragState, float dy, float yScale, float& topDbm, float& bottomDbm) {
  if (!(yScale != 0.0f) || !std::isfinite(dy)) return;
  const float delta = dy / yScale;
  if (!std::isfinite(delta)) return;
  if (dragState == DRAG_UPPER) {
    topDbm += delta;
    if (topDbm < bottomDbm) bottomDbm = topDbm;
  } else if (dragState == DRAG_LOWER) {
    bottomDbm += delta;
    if (bottomDbm > topDbm) topDbm = bottomDbm;
  }
}

int stepZoomOption(int option, bool spreading) {
  const int o = sanitizeZoomOption(option);
  return spreading ? std::min(o + 1, 2) : std::max(o - 1, 0);
}

float fadeLevel(float fade, bool dragging, float dt) {
  if (dragging) return 1.0f;
  if (fade > 0.0f) fade -= dt;
  return fade;
}

}  // namespace tarvo
