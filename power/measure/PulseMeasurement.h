// Pulse and power measurements over one capture of power samples (dBm, oldest first), and the
// read-out texts of the measurement panel.
//
// measurePulses makes two linear passes and allocates nothing:
//   1. statistics: min, max, sum, sum of squares (single precision, sample order);
//   2. a detector over consecutive sample pairs: 10 % -> 90 % rise, 90 % -> 10 % fall, and
//      mid-level crossings for the per-cycle statistics, the duty window and the period.
// The period is the distance between the first two rising mid-level crossings, so it does not
// depend on where the capture happened to start; it is the same window the duty cycle uses.
// Fewer than two rising crossings leave period and frequency undefined (NaN, "Low Freq").
//
// The record is shared with the main thread without a lock (a mix of two consecutive results is
// accepted there), so every field is written and read as one relaxed atomic float:
// measurePulses stores that way, and readMeasurements loads that way.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/AnalyzerModel.h"

namespace tarvo {

enum PowerMeasurementId : int {
  MEASURE_PERIOD = 0,
  MEASURE_FREQUENCY = 1,
  MEASURE_DELAY = 2,
  MEASURE_RISE_TIME = 3,
  MEASURE_FALL_TIME = 4,
  MEASURE_DUTY_POSITIVE = 5,
  MEASURE_DUTY_NEGATIVE = 6,
  MEASURE_PULSE_POSITIVE = 7,
  MEASURE_PULSE_NEGATIVE = 8,
  MEASURE_BURST_WIDTH = 9,
  MEASURE_PHASE = 10,
  MEASURE_OVERSHOOT_POSITIVE = 11,
  MEASURE_OVERSHOOT_NEGATIVE = 12,
  MEASURE_PEAK_TO_PEAK = 13,
  MEASURE_AMPLITUDE = 14,
  MEASURE_HIGH = 15,
  MEASURE_LOW = 16,
  MEASURE_MAX = 17,
  MEASURE_MIN = 18,
  MEASURE_MEAN = 19,
  MEASURE_CYCLE_MEAN = 20,
  MEASURE_RMS = 21,
  MEASURE_CYCLE_RMS = 22,
};

// The value a measurement slot holds when its read-out row is empty.
constexpr uint8_t MEASUREMENT_SLOT_EMPTY = 255;
constexpr int MEASUREMENT_SLOT_COUNT = 6;

using PowerMeasurements = std::array<float, POWER_MEASUREMENT_COUNT>;

// Fills `results` from `count` samples taken `secondsPerSample` apart. Returns at once, leaving
// the results untouched, when samples is null, count < 1 or secondsPerSample is not > 0.
// Ids 2, 9..12 and 14..16 are never written. Callers hold powerMutex when results is the model's
// powerMeasurements.
void measurePulses(float secondsPerSample, PowerMeasurements& results, const float* samples, int count);

// A copy of the model's record, each field loaded whole (no lock needed; see the file comment).
PowerMeasurements readMeasurements(const AnalyzerModel& model);

// --- catalogue -------------------------------------------------------------------------------

// Read-out label ("Period", "Freq", ...) and menu name ("Period", "Frequency", ...);
// nullptr for an id outside 0..22.
const char* measurementLabel(int id);
const char* measurementMenuName(int id);
// Whether measurePulses computes the id (the menu offers only these).
bool isMeasurementComputed(int id);

// --- read-out texts --------------------------------------------------------------------------

// The value text of one measurement: levels in dBm ("-12.34dBm") or watts ("10.00 mW") after
// adding the attenuation offset, times in s, frequency in Hz, duty in %; an undefined value reads
// "Low Freq" (timing and cycle ids) or "--" (the others).
std::string measurementValueText(int id, float value, float attenuationOffsetDb, bool unitsMilliwatt);

// For each of the six measurement slots in order, its label followed by ":"; a slot holding 255
// (or any id outside 0..22, e.g. from an edited configuration) adds nothing.
std::vector<std::string> measurementLabelLines(const AnalyzerModel& model);
// For each of the six slots in order, the value text of its id; same slots skipped as above, so
// the two lists always pair up line by line.
std::vector<std::string> measurementValueLines(const AnalyzerModel& model);
// The same with an explicit record (for a snapshot the caller already holds).
std::vector<std::string> measurementValueLines(const AnalyzerModel& model, const PowerMeasurements& values);

}  // namespace tarvo
