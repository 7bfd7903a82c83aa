// Cost of one pulse measurement (per capture or per roll packet, on the packet handler's
// thread under powerMutex) and of one spline over the longest capture the power trace smooths.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "power/measure/PulseMeasurement.h"
#include "power/measure/Spline.h"

namespace tarvo {
namespace {

void BM_Power_MeasurePulses(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<float> x(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = (i / 37) % 2 ? -5.0f : -45.0f + 0.01f * static_cast<float>(i % 7);
  PowerMeasurements r;
  for (auto _ : state) {
    measurePulses(0.001f, r, x.data(), n);
    benchmark::DoNotOptimize(r);
  }
  if (std::isnan(r[MEASURE_PERIOD])) state.SkipWithError("no period measured");
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Power_MeasurePulses)->Arg(240)->Arg(1000)->Arg(2000);

void BM_Power_SplineCoefficients(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  SplineMatrix points(0, m, 0, 1);
  SplineMatrix coeffs(1, 4, 1, m + 1);
  for (int i = 0; i < m; ++i) {
    points[i][0] = static_cast<float>(i);
    points[i][1] = -40.0f + 20.0f * std::sin(0.1f * static_cast<float>(i));
  }
  for (auto _ : state) {
    splineCoefficients(m, points.get(), coeffs.get());
    benchmark::DoNotOptimize(coeffs[1][1]);
  }
  if (std::fabs(coeffs[1][m - 1] - points[m - 2][1]) > 1e-4f) state.SkipWithError("wrong coefficients");
  state.SetItemsProcessed(state.iterations() * m);
}
BENCHMARK(BM_Power_SplineCoefficients)->Arg(100)->Arg(400);

}  // namespace
}  // namespace tarvo
