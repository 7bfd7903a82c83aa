#include "power/measure/PulseMeasurement.h"

#include <atomic>
#include <cmath>

#include "core/ValueFormat.h"

namespace tarvo {

namespace {

void storeField(PowerMeasurements& results, int id, float value) {
  std::atomic_ref<float>(results[static_cast<size_t>(id)]).store(value, std::memory_order_relaxed);
}

struct CatalogueEntry {
  const char* label;
  const char* menuName;
  bool computed;
  // How an undefined value reads: timing and per-cycle values say the signal is too slow for
  // the window ("Low Freq"); edges and plain levels say "--".
  bool lowFreqWhenUndefined;
};

constexpr CatalogueEntry CATALOGUE[POWER_MEASUREMENT_COUNT] = {
    {"Period", "Period", true, true},
    {"Freq", "Frequency", true, true},
    {"Delay", "Delay", false, false},
    {"Rise Time", "Rise Time", true, false},
    {"Fall Time", "Fall Time", true, false},
    {"Duty (+)", "Duty Cycle (+)", true, true},
    {"Duty (-)", "Duty Cycle (-)", true, true},
    {"Pulse (+)", "Pulse Width (+)", true, true},
    {"Pulse (-)", "Pulse Width (-)", true, true},
    {"Burst Width", "Burst Width", false, false},
    {"Phase", "Phase", false, false},
    {"Overshoot (+)", "Overshoot (+)", false, false},
    {"Overshoot (-)", "Overshoot (-)", false, false},
    {"P-P", "Peak To Peak", true, false},
    {"Amplitude", "Amplitude", false, false},
    {"High", "High", false, false},
    {"Low", "Low", false, false},
    {"Max", "Max", true, false},
    {"Min", "Min", true, false},
    {"Mean", "Mean", true, false},
    {"Cycle Mean", "Cycle Mean", true, true},
    {"RMS", "RMS", true, false},
    {"Cycle RMS", "Cycle RMS", true, true},
};

bool validId(int id) { return id >= 0 && id < POWER_MEASUREMENT_COUNT; }

bool isLevelId(int id) {
  switch (id) {
    case MEASURE_PEAK_TO_PEAK:
    case MEASURE_MAX:
    case MEASURE_MIN:
    case MEASURE_MEAN:
    case MEASURE_CYCLE_MEAN:
    case MEASURE_RMS:
    case MEASURE_CYCLE_RMS:
      return true;
    default:
      return false;
  }
}

const char* unitOf(int id) {
  switch (id) {
    case MEASURE_PERIOD:
    case MEASURE_RISE_TIME:
    case MEASURE_FALL_TIME:
    case MEASURE_PULSE_POSITIVE:
    case MEASURE_PULSE_NEGATIVE:
      return "s";
    case MEASURE_FREQUENCY:
      return "Hz";
    case MEASURE_DUTY_POSITIVE:
    case MEASURE_DUTY_NEGATIVE:
      return "%";
    default:
      return nullptr;
  }
}

// The slot ids that produce a read-out line, in slot order.
std::vector<int> shownSlotIds(const AnalyzerModel& model) {
  std::vector<int> ids;
  for (int slot = 0; slot < MEASUREMENT_SLOT_COUNT; ++slot) {
    const int id = model.power.measurementSlots[slot];
    if (validId(id)) ids.push_back(id);
  }
  return ids;
}

}  // namespace

void measurePulses(float secondsPerSample, PowerMeasurements& results, const float* samples, int count) {
  if (samples == nullptr || count < 1 || !(secondsPerSample > 0.0f)) return;
  const float* x = samples;
  const int n = count;

  // Statistics pass.
  float minV = x[0], maxV = x[0], sum = 0.0f, sumSq = 0.0f;
  for (int i = 0; i < n; ++i) {
    const float v = x[i];
    if (v < minV) minV = v;
    if (v > maxV) maxV = v;
    sum += v;
    sumSq += v * v;
  }

  const float mid = (maxV + minV) * 0.5f;
  const float span = std::fabs(maxV - minV);
  const float low10 = span * 0.1f + minV;
  const float high90 = span * 0.9f + minV;

  // Detector pass.
  bool riseStarted = false, riseDone = false;
  int riseStart = 0, riseEnd = 0;
  bool fallStarted = false, fallDone = false;
  int fallStart = 0, fallEnd = 0;
  bool toggle = false;
  // The first "cycle" runs from the first sample to the first crossing: its sums include x[0]
  // while its count does not.
  int cycleCount = 0;
  float cycleSum = x[0];
  float cycleSumSq = x[0] * x[0];
  int completedCycles = 0;
  float sumCycleRms = 0.0f, sumCycleMean = 0.0f;
  bool windowCounting = false, windowClosed = false;
  int windowSamples = 0, windowHigh = 0;
  int firstRising = -1, secondRising = -1;

  for (int j = 1; j < n; ++j) {
    const float prev = x[j - 1];
    const float cur = x[j];

    // A started rise is never abandoned; its completion is tested from the next sample on.
    if (!riseDone) {
      if (!riseStarted) {
        if (prev < low10 && low10 <= cur) {
          riseStarted = true;
          riseStart = j;
        }
      } else if (cur >= high90) {
        riseDone = true;
        riseEnd = j;
      }
    }
    if (!fallDone) {
      if (!fallStarted) {
        if (prev > high90 && high90 >= cur) {
          fallStarted = true;
          fallStart = j;
        }
      } else if (cur <= low10) {
        fallDone = true;
        fallEnd = j;
      }
    }

    ++cycleCount;
    cycleSum += cur;
    cycleSumSq += cur * cur;

    const bool crossing = (mid >= prev) != (mid >= cur);
    const bool rising = crossing && cur > mid;  // prev <= mid < cur
    if (crossing) {
      if (!toggle) {
        sumCycleRms += static_cast<float>(std::sqrt(static_cast<double>(cycleSumSq) / cycleCount));
        sumCycleMean += cycleSum / static_cast<float>(cycleCount);
        ++completedCycles;
        cycleCount = 0;
        cycleSum = 0.0f;
        cycleSumSq = 0.0f;
      }
      toggle = !toggle;
    }

    // Duty window: from the first rising crossing (included) to the next one (excluded), or to
    // the last sample when no second one comes.
    if (!windowCounting) {
      if (rising) windowCounting = true;
    } else if (!windowClosed && rising) {
      windowClosed = true;
    }
    if (windowCounting && !windowClosed) {
      ++windowSamples;
      if (cur > mid) ++windowHigh;
    }

    if (rising) {
      if (firstRising < 0) {
        firstRising = j;
      } else if (secondRising < 0) {
        secondRising = j;
      }
    }
  }

  const float nan = notAvailable();
  const float fn = static_cast<float>(n);
  storeField(results, MEASURE_MIN, minV);
  storeField(results, MEASURE_MAX, maxV);
  storeField(results, MEASURE_MEAN, sum / fn);
  storeField(results, MEASURE_RMS, std::sqrt(sumSq / fn));
  storeField(results, MEASURE_PEAK_TO_PEAK, span);

  if (windowSamples > 0) {
    const float ratio = static_cast<float>(windowHigh) / static_cast<float>(windowSamples);
    storeField(results, MEASURE_DUTY_POSITIVE, ratio * 100.0f);
    storeField(results, MEASURE_DUTY_NEGATIVE, (1.0f - ratio) * 100.0f);
    storeField(results, MEASURE_PULSE_POSITIVE, static_cast<float>(windowHigh) * secondsPerSample);
    storeField(results, MEASURE_PULSE_NEGATIVE, static_cast<float>(windowSamples - windowHigh) * secondsPerSample);
  } else {
    for (int id : {MEASURE_DUTY_POSITIVE, MEASURE_DUTY_NEGATIVE, MEASURE_PULSE_POSITIVE, MEASURE_PULSE_NEGATIVE})
      storeField(results, id, nan);
  }

  if (completedCycles > 0) {
    storeField(results, MEASURE_CYCLE_RMS, sumCycleRms / static_cast<float>(completedCycles));
    storeField(results, MEASURE_CYCLE_MEAN, sumCycleMean / static_cast<float>(completedCycles));
  } else {
    storeField(results, MEASURE_CYCLE_RMS, nan);
    storeField(results, MEASURE_CYCLE_MEAN, nan);
  }

  if (secondRising > 0) {
    const float period = static_cast<float>(secondRising - firstRising) * secondsPerSample;
    storeField(results, MEASURE_PERIOD, period);
    storeField(results, MEASURE_FREQUENCY, 1.0f / period);
  } else {
    storeField(results, MEASURE_PERIOD, nan);
    storeField(results, MEASURE_FREQUENCY, nan);
  }

  storeField(results, MEASURE_RISE_TIME, riseDone ? static_cast<float>(riseEnd - riseStart) * secondsPerSample : nan);
  storeField(results, MEASURE_FALL_TIME, fallDone ? static_cast<float>(fallEnd - fallStart) * secondsPerSample : nan);
}

PowerMeasurements readMeasurements(const AnalyzerModel& model) {
  PowerMeasurements out;
  auto& record = const_cast<std::array<float, POWER_MEASUREMENT_COUNT>&>(model.powerMeasurements);
  for (size_t i = 0; i < out.size(); ++i) out[i] = std::atomic_ref<float>(record[i]).load(std::memory_order_relaxed);
  return out;
}

const char* measurementLabel(int id) { return validId(id) ? CATALOGUE[id].label : nullptr; }
const char* measurementMenuName(int id) { return validId(id) ? CATALOGUE[id].menuName : nullptr; }
bool isMeasurementComputed(int id) { return validId(id) && CATALOGUE[id].computed; }

std::string measurementValueText(int id, float value, float attenuationOffsetDb, bool unitsMilliwatt) {
  if (!validId(id)) return "--";
  const char* undefinedText = CATALOGUE[id].lowFreqWhenUndefined ? "Low Freq" : "--";
  if (isLevelId(id)) {
    float level = value + attenuationOffsetDb;
    if (unitsMilliwatt) level = AnalyzerModel::dBmToMilliwatt(level) * 0.001f;  // dBm -> W
    if (!std::isfinite(level)) return undefinedText;
    return unitsMilliwatt ? formatSI(2, level) + "W" : formatFixed2(level) + "dBm";
  }
  const char* unit = unitOf(id);
  if (unit == nullptr || !std::isfinite(value)) return undefinedText;
  return formatSI(2, value) + unit;
}

std::vector<std::string> measurementLabelLines(const AnalyzerModel& model) {
  std::vector<std::string> lines;
  for (int id : shownSlotIds(model)) lines.push_back(std::string(CATALOGUE[id].label) + ":");
  return lines;
}

std::vector<std::string> measurementValueLines(const AnalyzerModel& model) {
  return measurementValueLines(model, readMeasurements(model));
}

std::vector<std::string> measurementValueLines(const AnalyzerModel& model, const PowerMeasurements& values) {
  const float offset = model.attenuationOffsetDb();
  const bool milliwatt = model.common.unitsMilliwatt != 0;
  std::vector<std::string> lines;
  for (int id : shownSlotIds(model)) lines.push_back(measurementValueText(id, values[id], offset, milliwatt));
  return lines;
}

}  // namespace tarvo
