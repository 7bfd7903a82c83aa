// Trace processing of the spectrum view, GL-free: what the trace layer computes from a band's
// sweep history, and the pure arithmetic of its drawing.
//
//   processSweep         RAW, DECAY, AVERAGE, MAX HOLD, MIN HOLD and their peak tables, once per
//                        new sweep (caller holds spectrumMutex)
//   buildPeakTable       the five strongest bins of one trace
//   traceScale           vertex i of a trace is (i × xStep, value × yScale + yOffset)
//   sampleTraces         the five traces under one cursor X position
//   buildHeatMapPixels   the glow and density pictures of a band's heat map (accumulates the
//                        published histogram in place, as the layer owns that step)
//
// Traces are indexed by TraceType (1 RAW ... 5 MIN HOLD); peakTables and cursor samples use the
// same order, type − 1.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/AnalyzerModel.h"
#include "display/spectrum/ColorTable.h"

namespace tarvo {

struct TraceProcessingSettings {
  float holdTimeSeconds = 1.0f;
  float decayDb = 2.0f;
  float averageTimeSeconds = 1.0f;
  float sweepPeriodSeconds = 0.1f;
};

// The settings for a band, read from the model (settings and the accessory's sweep period).
TraceProcessingSettings traceProcessingSettings(const AnalyzerModel& model, int band);

// Number of the newest sweeps a time window covers: trunc(seconds ÷ period), clamped to
// 0 ... historyRows. A zero or missing period gives the whole history, a negative or missing
// window none.
int sweepsInWindow(float seconds, float periodSeconds, int historyRows);

// Bins of the newest sweep as processing uses them: lastSweepBins, or the row size when that is
// negative or above the row size minus one.
int processedBinCount(const SpectrumStore& store);

// The processing step. Runs whatever newSweep says (the caller checks it); clears newSweep and
// sets tracesProcessed.
void processSweep(SpectrumStore& store, const TraceProcessingSettings& settings);

// Five slots of the largest values in descending order, equal values lower bin first; empty
// slots hold (−1, NaN). NaN values never enter the table.
void buildPeakTable(const float* values, int n, std::array<PeakEntry, PEAKS_PER_TRACE>& table);

// The trace of one type (1 ... 5) in the store, or nullptr.
const float* traceOfType(const SpectrumStore& store, int type);

struct TraceScale {
  float xStep = 0, yScale = 0, yOffset = 0;
  float y(float value) const { return value * yScale + yOffset; }
};
// For n > 1 bins over a layer of width × height showing bottom ... top dBm.
TraceScale traceScale(int n, float width, float height, float bottomDbm, float topDbm);

// Cursor sample of the five traces at layer X position x (n = processedBins > 1): position
// p = (n − 1) ÷ width × x clamped to [0, n − 1], the last bin exactly at the right edge,
// otherwise linear between bins i and i + 1. Returns false (and leaves `out` alone) when n <= 1.
bool sampleTraces(const SpectrumStore& store, float width, float x, const TraceScale& scale, CursorSample& out);

// --- heat map ------------------------------------------------------------------------------------

constexpr int HEAT_MAP_TEXTURE_WIDTH = 512;   // 2^ceil(log2(512))
constexpr int HEAT_MAP_TEXTURE_HEIGHT = 256;  // 2^ceil(log2(256))
constexpr size_t HEAT_MAP_BUFFER_BYTES = size_t(HEAT_MAP_TEXTURE_WIDTH) * HEAT_MAP_TEXTURE_HEIGHT * 4;
constexpr int HEAT_MAP_FULL_COUNT = 20;  // counts from here on take the last colour / full alpha
constexpr uint8_t HEAT_MAP_GLOW_ALPHA = 85;

// Density alpha of a raw count: 0 for 0, 255 from 20 on, a ramp from 0.35 to 1 in between.
uint8_t heatMapDensityAlpha(uint32_t count);
// Colour-table index of an accumulated count a in 1 ... 19 for a table of `levels` entries.
int heatMapColorIndex(uint32_t accumulated, int levels);

enum class HeatMapBuild {
  EMPTY,      // no histogram: the buffers were cleared (width and height are 0)
  TOO_LARGE,  // does not fit the texture: nothing done, heatMapDirty stays set
  BUILT,      // buffers hold width × height texels, packed row-major (level × width + bin)
};
struct HeatMapPicture {
  HeatMapBuild result = HeatMapBuild::EMPTY;
  int width = 0, height = 0;
};

// Builds both pictures from store.heatMap (caller holds spectrumMutex). Accumulates each column
// downwards in place unless heatMapAccumulated says it already was (then clears that flag).
// Clears heatMapDirty unless the histogram is too large. The buffers hold
// HEAT_MAP_BUFFER_BYTES each; an EMPTY result zeroes all of them.
HeatMapPicture buildHeatMapPixels(SpectrumStore& store, int colorMapIndex, uint8_t* glow, uint8_t* density,
                                  size_t bufferBytes);

}  // namespace tarvo
