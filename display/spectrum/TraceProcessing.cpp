#include "display/spectrum/TraceProcessing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarvo {

TraceProcessingSettings traceProcessingSettings(const AnalyzerModel& model, int band) {
  TraceProcessingSettings s;
  s.holdTimeSeconds = model.spectrum.holdTime;
  s.decayDb = model.spectrum.decayDb;
  s.averageTimeSeconds = model.spectrum.averageTime;
  s.sweepPeriodSeconds = model.deviceInfo()->sweepPeriod(band);
  return s;
}

int sweepsInWindow(float seconds, float periodSeconds, int historyRows) {
  if (historyRows <= 0) return 0;
  // In single precision, as the settings are: 1.0 s at 0.1 s per sweep is exactly 10 sweeps
  // (in double the float 0.1 makes it 9.99...).
  const float ratio = seconds / periodSeconds;
  // NaN (missing window, or 0 ÷ 0) and negative windows cover no sweep; a zero period makes
  // any positive window infinite, so it covers the whole history.
  if (!(ratio >= 0.0f)) return 0;
  if (ratio >= static_cast<float>(historyRows)) return historyRows;
  return static_cast<int>(ratio);
}

int processedBinCount(const SpectrumStore& store) {
  const int n = store.lastSweepBins;
  return (n < 0 || n > store.rowBins - 1) ? store.rowBins : n;
}

void buildPeakTable(const float* values, int n, std::array<PeakEntry, PEAKS_PER_TRACE>& table) {
  table.fill(PeakEntry{});
  for (int i = 0; i < n; ++i) {
    const float v = values[i];
    if (std::isnan(v)) continue;
    for (int s = 0; s < PEAKS_PER_TRACE; ++s) {
      // Strictly smaller: an equal later bin never displaces an earlier one.
      if (table[s].index < 0 || table[s].value < v) {
        for (int k = PEAKS_PER_TRACE - 1; k > s; --k) table[k] = table[k - 1];
        table[s] = PeakEntry{i, v};
        break;
      }
    }
  }
}

const float* traceOfType(const SpectrumStore& store, int type) {
  switch (type) {
    case TRACE_RAW: return store.rawTrace.data();
    case TRACE_DECAY: return store.decayTrace.data();
    case TRACE_AVERAGE: return store.averageTrace.data();
    case TRACE_MAX_HOLD: return store.maxHoldTrace.data();
    case TRACE_MIN_HOLD: return store.minHoldTrace.data();
    default: return nullptr;
  }
}

void processSweep(SpectrumStore& store, const TraceProcessingSettings& settings) {
  const SweepHistory& history = store.sweepHistory;
  const int n = processedBinCount(store);
  const int rows = history.size();

  if (rows == 0) {
    store.processedBins = 0;
  } else {
    const float* newest = history.rowByAge(0);
    float* raw = store.rawTrace.data();
    float* decay = store.decayTrace.data();
    float* average = store.averageTrace.data();
    float* maxHold = store.maxHoldTrace.data();
    float* minHold = store.minHoldTrace.data();
    const size_t bytes = sizeof(float) * static_cast<size_t>(n);
    std::memcpy(raw, newest, bytes);

    if (store.processedBins == 0) {
      // First sweep (after a reset or a band change): every trace starts from it.
      std::memcpy(decay, newest, bytes);
      std::memcpy(maxHold, newest, bytes);
      std::memcpy(minHold, newest, bytes);
      std::memcpy(average, newest, bytes);
    } else {
      const int k = sweepsInWindow(settings.holdTimeSeconds, settings.sweepPeriodSeconds, rows);
      const float decayDb = settings.decayDb;
      for (int i = 0; i < n; ++i) decay[i] -= decayDb;
      for (int age = 0; age < k; ++age) {
        const float* row = history.rowByAge(age);
        for (int i = 0; i < n; ++i)
          if (row[i] > decay[i]) decay[i] = row[i];
      }

      const int m = sweepsInWindow(settings.averageTimeSeconds, settings.sweepPeriodSeconds, rows);
      if (m > 0) {
        std::memcpy(average, newest, bytes);
        for (int age = 1; age < m; ++age) {
          const float* row = history.rowByAge(age);
          for (int i = 0; i < n; ++i) average[i] += row[i];
        }
        if (m > 1) {
          const float div = static_cast<float>(m);
          for (int i = 0; i < n; ++i) average[i] /= div;
        }
      }

      for (int i = 0; i < n; ++i) {
        if (newest[i] > maxHold[i]) maxHold[i] = newest[i];
        if (newest[i] < minHold[i]) minHold[i] = newest[i];
      }
    }

    store.processedBins = n;
    for (int type = TRACE_RAW; type <= TRACE_MIN_HOLD; ++type)
      buildPeakTable(traceOfType(store, type), n, store.peakTables[type - 1]);
  }
  store.newSweep = false;
  store.tracesProcessed = true;
}

TraceScale traceScale(int n, float width, float height, float bottomDbm, float topDbm) {
  TraceScale s;
  s.xStep = n > 1 ? width / static_cast<float>(n - 1) : 0.0f;
  s.yScale = height / (topDbm - bottomDbm);
  s.yOffset = -bottomDbm * s.yScale;
  return s;
}

bool sampleTraces(const SpectrumStore& store, float width, float x, const TraceScale& scale, CursorSample& out) {
  const int n = store.processedBins;
  if (n <= 1 || n > store.rowBins) return false;
  const float last = static_cast<float>(n - 1);
  float p = width > 0.0f ? last / width * x : 0.0f;
  if (!(p >= 0.0f)) p = 0.0f;  // NaN as well
  if (p > last) p = last;
  const int i = static_cast<int>(p);
  const float f = p - static_cast<float>(i);
  out.index = i;
  for (int type = TRACE_RAW; type <= TRACE_MIN_HOLD; ++type) {
    const float* t = traceOfType(store, type);
    const float v = (i == n - 1) ? t[n - 1] : t[i] * (1.0f - f) + t[i + 1] * f;
    out.values[type - 1] = v;
    out.heights[type - 1] = scale.y(v);
  }
  return true;
}

// --- heat map ------------------------------------------------------------------------------------

uint8_t heatMapDensityAlpha(uint32_t c) {
  if (c == 0) return 0;
  if (c >= HEAT_MAP_FULL_COUNT) return 255;
  return static_cast<uint8_t>(((c - 1) * 0.65 / 19.0 + 0.35) * 255.0);
}

int heatMapColorIndex(uint32_t a, int levels) {
  return ((levels - 1) / 19) * static_cast<int>(a - 1);
}

HeatMapPicture buildHeatMapPixels(SpectrumStore& store, int colorMapIndex, uint8_t* glow, uint8_t* density,
                                  size_t bufferBytes) {
  HeatMapPicture pic;
  const int width = store.heatMapBins;
  const int height = store.heatMapLevels;
  const size_t cells = width > 0 && height > 0 ? static_cast<size_t>(width) * height : 0;
  if (cells == 0) {
    std::memset(glow, 0, bufferBytes);
    std::memset(density, 0, bufferBytes);
    // Nothing to show until the next histogram arrives; consumed, so it is not redone per frame.
    store.heatMapDirty = false;
    pic.result = HeatMapBuild::EMPTY;
    return pic;
  }
  // Each dimension must fit the texture, not only the byte count: the picture is uploaded as
  // one width × height sub-image. A histogram shorter than its dimensions is malformed too.
  if (cells * 4 > bufferBytes || width > HEAT_MAP_TEXTURE_WIDTH || height > HEAT_MAP_TEXTURE_HEIGHT ||
      store.heatMap.size() < cells) {
    pic.result = HeatMapBuild::TOO_LARGE;
    return pic;
  }

  Rgb table[MAX_COLOR_ENTRIES];
  buildColorTable(colorMapIndex, height, ColorTableForm::HEAT_MAP, table);
  const Rgb lastColor = table[height - 1];
  uint16_t* counts = store.heatMap.data();

  // Density alpha from the raw counts.
  for (size_t c = 0; c < cells; ++c) density[c * 4 + 3] = heatMapDensityAlpha(counts[c]);

  // Accumulate each column downwards: a level counts the sweeps at or above it.
  if (store.heatMapAccumulated) {
    store.heatMapAccumulated = false;
  } else {
    for (int level = height - 2; level >= 0; --level) {
      uint16_t* row = counts + static_cast<size_t>(level) * width;
      const uint16_t* above = row + width;
      for (int bin = 0; bin < width; ++bin) row[bin] = static_cast<uint16_t>(row[bin] + above[bin]);
    }
  }

  for (size_t c = 0; c < cells; ++c) {
    const uint32_t a = counts[c];
    uint8_t* g = glow + c * 4;
    uint8_t* d = density + c * 4;
    if (a == 0) {
      g[0] = g[1] = g[2] = g[3] = 0;
      d[0] = d[1] = d[2] = 0;
      continue;
    }
    const Rgb col = a >= HEAT_MAP_FULL_COUNT ? lastColor : table[heatMapColorIndex(a, height)];
    g[0] = d[0] = col.r;
    g[1] = d[1] = col.g;
    g[2] = d[2] = col.b;
    g[3] = HEAT_MAP_GLOW_ALPHA;
  }
  store.heatMapDirty = false;
  pic.result = HeatMapBuild::BUILT;
  pic.width = width;
  pic.height = height;
  return pic;
}

}  // namespace tarvo
