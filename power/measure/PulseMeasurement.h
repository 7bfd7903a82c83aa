// Pulse and power measurements over one capture of power samples (dBm, oldest first).
#pragma once

#include <array>
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

using PowerMeasurements = std::array<float, POWER_MEASUREMENT_COUNT>;

// Fills `results` from `count` samples taken `secondsPerSample` apart. Callers hold powerMutex
// when results is the model's powerMeasurements.
void measurePulses(float secondsPerSample, PowerMeasurements& results, const float* samples, int count);

}  // namespace tarvo
