#include "power/measure/PulseMeasurement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tarvo {
namespace {

constexpr float MS = 0.001f;

PowerMeasurements freshResults() {
  PowerMeasurements r;
  r.fill(notAvailable());
  return r;
}

PowerMeasurements measure(const std::vector<float>& samples, float secondsPerSample = MS) {
  PowerMeasurements r = freshResults();
  measurePulses(secondsPerSample, r, samples.data(), static_cast<int>(samples.size()));
  return r;
}

// Square wave between -40 and 0 dBm: `periodSamples` per cycle, the first `lowSamples` of each
// cycle low, shifted so that the capture starts `phase` samples into a cycle.
std::vector<float> squareWave(int count, int periodSamples, int lowSamples, int phase = 0) {
  std::vector<float> x(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) x[static_cast<size_t>(i)] = ((i + phase) % periodSamples) < lowSamples ? -40.0f : 0.0f;
  return x;
}

// The ids that measurePulses never writes.
constexpr int UNCOMPUTED[] = {MEASURE_DELAY,       MEASURE_BURST_WIDTH, MEASURE_PHASE, MEASURE_OVERSHOOT_POSITIVE,
                              MEASURE_OVERSHOOT_NEGATIVE, MEASURE_AMPLITUDE, MEASURE_HIGH, MEASURE_LOW};

TEST(PulseMeasurement, SquareWaveTimingAndDuty) {
  const auto r = measure(squareWave(300, 100, 50));
  // Rising crossings at samples 50, 150 and 250: one period is 100 samples.
  EXPECT_FLOAT_EQ(r[MEASURE_PERIOD], 0.1f);
  EXPECT_FLOAT_EQ(r[MEASURE_FREQUENCY], 10.0f);
  EXPECT_FLOAT_EQ(r[MEASURE_DUTY_POSITIVE], 50.0f);
  EXPECT_FLOAT_EQ(r[MEASURE_DUTY_NEGATIVE], 50.0f);
  EXPECT_FLOAT_EQ(r[MEASURE_PULSE_POSITIVE], 0.05f);
  EXPECT_FLOAT_EQ(r[MEASURE_PULSE_NEGATIVE], 0.05f);
  EXPECT_FLOAT_EQ(r[MEASURE_RISE_TIME], MS);  // completion is tested from the next sample
  EXPECT_FLOAT_EQ(r[MEASURE_FALL_TIME], MS);
  EXPECT_FLOAT_EQ(r[MEASURE_MIN], -40.0f);
  EXPECT_FLOAT_EQ(r[MEASURE_MAX], 0.0f);
  EXPECT_FLOAT_EQ(r[MEASURE_PEAK_TO_PEAK], 40.0f);
  EXPECT_FLOAT_EQ(r[MEASURE_MEAN], -20.0f);
  EXPECT_FLOAT_EQ(r[MEASURE_RMS], std::sqrt(800.0f));
  // Cycles end at the 1st, 3rd and 5th crossing (samples 50, 150, 250). The first runs from the
  // start of the capture (mean -40), the others are one whole period each (mean -20).
  EXPECT_NEAR(r[MEASURE_CYCLE_MEAN], -80.0f / 3.0f, 1e-4f);
  EXPECT_NEAR(r[MEASURE_CYCLE_RMS], (40.0f + 2.0f * std::sqrt(800.0f)) / 3.0f, 1e-4f);
  for (int id : UNCOMPUTED) EXPECT_TRUE(std::isnan(r[id])) << "id " << id;

  EXPECT_EQ(measurementValueText(MEASURE_PERIOD, r[MEASURE_PERIOD], 0, false), "100.00 ms");
  EXPECT_EQ(measurementValueText(MEASURE_FREQUENCY, r[MEASURE_FREQUENCY], 0, false), "10.00 Hz");
  EXPECT_EQ(measurementValueText(MEASURE_DUTY_POSITIVE, r[MEASURE_DUTY_POSITIVE], 0, false), "50.00 %");
  EXPECT_EQ(measurementValueText(MEASURE_PULSE_POSITIVE, r[MEASURE_PULSE_POSITIVE], 0, false), "50.00 ms");
}

// The period must not depend on where the capture starts: the time from the first sample to
// the first crossing would read anything from 0 to a whole period here.
TEST(PulseMeasurement, PeriodIndependentOfCaptureStart) {
  for (int phase : {0, 1, 25, 49, 50, 75, 99}) {
    SCOPED_TRACE(phase);
    const auto r = measure(squareWave(400, 100, 30, phase));
    EXPECT_FLOAT_EQ(r[MEASURE_PERIOD], 0.1f);
    EXPECT_FLOAT_EQ(r[MEASURE_FREQUENCY], 10.0f);
    EXPECT_FLOAT_EQ(r[MEASURE_DUTY_POSITIVE], 70.0f);
    EXPECT_FLOAT_EQ(r[MEASURE_PULSE_NEGATIVE], 0.03f);
  }
}

TEST(PulseMeasurement, SingleRisingStep) {
  std::vector<float> x(100, -40.0f);
  for (size_t i = 50; i < x.size(); ++i) x[i] = 0.0f;
  const auto r = measure(x);
  EXPECT_FLOAT_EQ(r[MEASURE_RISE_TIME], MS);
  EXPECT_TRUE(std::isnan(r[MEASURE_FALL_TIME]));
  // One rising crossing only: no period, so no frequency either.
  EXPECT_TRUE(std::isnan(r[MEASURE_PERIOD]));
  EXPECT_TRUE(std::isnan(r[MEASURE_FREQUENCY]));
  // The duty window opens at the step and runs to the last sample.
  EXPECT_FLOAT_EQ(r[MEASURE_DUTY_POSITIVE], 100.0f);
  EXPECT_FLOAT_EQ(r[MEASURE_PULSE_POSITIVE], 0.05f);
  EXPECT_EQ(measurementValueText(MEASURE_FALL_TIME, r[MEASURE_FALL_TIME], 0, false), "--");
  EXPECT_EQ(measurementValueText(MEASURE_PERIOD, r[MEASURE_PERIOD], 0, false), "Low Freq");
  EXPECT_EQ(measurementValueText(MEASURE_FREQUENCY, r[MEASURE_FREQUENCY], 0, false), "Low Freq");
}

// A rise that passes 10 % and falls back before 90 % is not abandoned: it completes at the later
// 90 % sample, counted from the first 10 % crossing.
TEST(PulseMeasurement, RampThatFallsBackKeepsItsStart) {
  const std::vector<float> x = {-40, -40, -30, -20, -30, -40, -40, -20, -10, -2, 0};
  const auto r = measure(x);
  EXPECT_FLOAT_EQ(r[MEASURE_RISE_TIME], 7 * MS);  // samples 2 -> 9
}

TEST(PulseMeasurement, OneSample) {
  const auto r = measure({-12.5f});
  EXPECT_FLOAT_EQ(r[MEASURE_MIN], -12.5f);
  EXPECT_FLOAT_EQ(r[MEASURE_MAX], -12.5f);
  EXPECT_FLOAT_EQ(r[MEASURE_MEAN], -12.5f);
  EXPECT_FLOAT_EQ(r[MEASURE_RMS], 12.5f);
  EXPECT_FLOAT_EQ(r[MEASURE_PEAK_TO_PEAK], 0.0f);
  for (int id : {MEASURE_PERIOD, MEASURE_FREQUENCY, MEASURE_RISE_TIME, MEASURE_FALL_TIME, MEASURE_DUTY_POSITIVE,
                 MEASURE_DUTY_NEGATIVE, MEASURE_PULSE_POSITIVE, MEASURE_PULSE_NEGATIVE, MEASURE_CYCLE_MEAN,
                 MEASURE_CYCLE_RMS})
    EXPECT_TRUE(std::isnan(r[id])) << "id " << id;
}

TEST(PulseMeasurement, FlatTraceHasNoEdgesOrCrossings) {
  const auto r = measure(std::vector<float>(50, -25.0f));
  EXPECT_FLOAT_EQ(r[MEASURE_MEAN], -25.0f);
  for (int id : {MEASURE_PERIOD, MEASURE_FREQUENCY, MEASURE_DUTY_POSITIVE, MEASURE_PULSE_NEGATIVE,
                 MEASURE_CYCLE_MEAN, MEASURE_CYCLE_RMS})
    EXPECT_EQ(measurementValueText(id, r[id], 0, false), "Low Freq") << "id " << id;
  for (int id : {MEASURE_RISE_TIME, MEASURE_FALL_TIME})
    EXPECT_EQ(measurementValueText(id, r[id], 0, false), "--") << "id " << id;
}

// An early return keeps the previous values on screen.
TEST(PulseMeasurement, DegenerateCallsLeaveResultsUntouched) {
  const std::vector<float> x = squareWave(300, 100, 50);
  struct Case {
    const char* name;
    float secondsPerSample;
    const float* samples;
    int count;
  };
  const Case cases[] = {
      {"zero interval (empty time table)", 0.0f, x.data(), 300},
      {"negative interval", -1.0f, x.data(), 300},
      {"NaN interval", notAvailable(), x.data(), 300},
      {"no samples", MS, x.data(), 0},
      {"negative count", MS, x.data(), -5},
      {"null samples", MS, nullptr, 300},
  };
  for (const auto& c : cases) {
    PowerMeasurements r;
    r.fill(7.0f);
    measurePulses(c.secondsPerSample, r, c.samples, c.count);
    for (float v : r) EXPECT_EQ(v, 7.0f) << c.name;
  }
}

TEST(PulseMeasurementText, ValueTexts) {
  struct Case {
    const char* name;
    int id;
    float value;
    float offset;
    bool milliwatt;
    const char* expected;
  };
  const float nan = notAvailable();
  const Case cases[] = {
      {"dBm level", MEASURE_MAX, -12.344f, 0, false, "-12.34dBm"},
      {"dBm level with offset", MEASURE_MEAN, -20.0f, 10.0f, false, "-10.00dBm"},
      {"watts with offset", MEASURE_MAX, 0.0f, 10.0f, true, "10.00 mW"},
      {"watts, microwatts", MEASURE_MIN, -30.0f, 0.0f, true, "1.00 \u00B5W"},
      {"time", MEASURE_RISE_TIME, 0.0015f, 0, false, "1.50 ms"},
      {"frequency kHz", MEASURE_FREQUENCY, 2000.0f, 0, false, "2.00 kHz"},
      {"small duty", MEASURE_DUTY_NEGATIVE, 0.5f, 0, false, "500.00 m%"},
      {"time ignores offset and units", MEASURE_PULSE_NEGATIVE, 0.002f, 10.0f, true, "2.00 ms"},
      {"undefined period", MEASURE_PERIOD, nan, 0, false, "Low Freq"},
      {"undefined cycle mean", MEASURE_CYCLE_MEAN, nan, 0, true, "Low Freq"},
      {"undefined cycle rms", MEASURE_CYCLE_RMS, nan, 0, false, "Low Freq"},
      {"undefined pulse", MEASURE_PULSE_POSITIVE, nan, 0, false, "Low Freq"},
      {"undefined rise", MEASURE_RISE_TIME, nan, 0, false, "--"},
      {"undefined max in watts", MEASURE_MAX, nan, 0, true, "--"},
      {"undefined rms", MEASURE_RMS, nan, 0, false, "--"},
      {"undefined p-p", MEASURE_PEAK_TO_PEAK, nan, 0, false, "--"},
      {"infinite frequency", MEASURE_FREQUENCY, INFINITY, 0, false, "Low Freq"},
      {"never computed", MEASURE_PHASE, nan, 0, false, "--"},
      {"outside the catalogue", 99, 1.0f, 0, false, "--"},
  };
  for (const auto& c : cases) EXPECT_EQ(measurementValueText(c.id, c.value, c.offset, c.milliwatt), c.expected) << c.name;
}

TEST(PulseMeasurementText, LinesFollowTheSlots) {
  AnalyzerModel model;
  const uint8_t slots[6] = {MEASURE_PERIOD, MEASUREMENT_SLOT_EMPTY, MEASURE_MAX, 200 /* edited config */,
                            MEASURE_DUTY_POSITIVE, MEASUREMENT_SLOT_EMPTY};
  for (int i = 0; i < 6; ++i) model.power.measurementSlots[i] = slots[i];
  model.powerMeasurements[MEASURE_PERIOD] = notAvailable();
  model.powerMeasurements[MEASURE_MAX] = 0.0f;
  model.powerMeasurements[MEASURE_DUTY_POSITIVE] = 25.0f;
  model.common.externalAttenuationDb = 10.0f;
  model.common.unitsMilliwatt = 1;

  EXPECT_EQ(measurementLabelLines(model), (std::vector<std::string>{"Period:", "Max:", "Duty (+):"}));
  // Not connected: the attenuation offset does not apply.
  EXPECT_EQ(measurementValueLines(model), (std::vector<std::string>{"Low Freq", "1.00 mW", "25.00 %"}));
  model.setConnected(true);
  EXPECT_EQ(measurementValueLines(model), (std::vector<std::string>{"Low Freq", "10.00 mW", "25.00 %"}));
  model.common.unitsMilliwatt = 0;
  EXPECT_EQ(measurementValueLines(model), (std::vector<std::string>{"Low Freq", "10.00dBm", "25.00 %"}));
}

TEST(PulseMeasurementText, NoSlotsNoLines) {
  AnalyzerModel model;
  EXPECT_TRUE(measurementLabelLines(model).empty());
  EXPECT_TRUE(measurementValueLines(model).empty());
}

TEST(PulseMeasurementText, Catalogue) {
  EXPECT_STREQ(measurementLabel(MEASURE_FREQUENCY), "Freq");
  EXPECT_STREQ(measurementMenuName(MEASURE_FREQUENCY), "Frequency");
  EXPECT_STREQ(measurementLabel(MEASURE_PEAK_TO_PEAK), "P-P");
  EXPECT_STREQ(measurementMenuName(MEASURE_PULSE_NEGATIVE), "Pulse Width (-)");
  EXPECT_EQ(measurementLabel(POWER_MEASUREMENT_COUNT), nullptr);
  EXPECT_EQ(measurementLabel(-1), nullptr);
  int computed = 0;
  for (int id = 0; id < POWER_MEASUREMENT_COUNT; ++id) computed += isMeasurementComputed(id);
  EXPECT_EQ(computed, 15);
  for (int id : UNCOMPUTED) EXPECT_FALSE(isMeasurementComputed(id)) << "id " << id;
}

}  // namespace
}  // namespace tarvo
