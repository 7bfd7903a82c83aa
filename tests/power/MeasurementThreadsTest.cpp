// The packet handler's thread writes the measurement record under powerMutex while the main
// thread builds the read-out texts from it without a lock. Run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "power/measure/PulseMeasurement.h"

namespace tarvo {
namespace {

TEST(MeasurementThreads, ReadOutWhileMeasuring) {
  AnalyzerModel model;
  model.power.measurementSlots[0] = MEASURE_PERIOD;
  model.power.measurementSlots[1] = MEASURE_MAX;
  model.power.measurementSlots[2] = MEASURE_DUTY_POSITIVE;

  std::vector<float> capture(1000);
  for (size_t i = 0; i < capture.size(); ++i) capture[i] = (i / 50) % 2 ? 0.0f : -40.0f;
  std::atomic<bool> done{false};

  std::thread handler([&] {
    for (int round = 0; round < 500; ++round) {
      ModelLock lock(model, LOCK_POWER);
      measurePulses(0.001f, model.powerMeasurements, capture.data(), static_cast<int>(capture.size()));
    }
    done = true;
  });

  int reads = 0;
  while (!done || reads < 10) {
    ++reads;
    const auto values = measurementValueLines(model);
    ASSERT_EQ(values.size(), 3u);
    const auto labels = measurementLabelLines(model);
    ASSERT_EQ(labels.size(), 3u);
    std::this_thread::yield();
  }
  handler.join();

  EXPECT_EQ(measurementValueLines(model), (std::vector<std::string>{"100.00 ms", "0.00dBm", "50.00 %"}));
}

}  // namespace
}  // namespace tarvo
