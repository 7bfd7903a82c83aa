// Cost of the access-point work done on the packet handler's thread: the forced utilisation
// pass after every merged scan (sweeping list size and the number of access points selected
// for optimisation), and the merge itself.
#include <benchmark/benchmark.h>

#include <random>

#include "accesspoints/model/AccessPointList.h"
#include "accesspoints/model/Utilization.h"

namespace tarvo {
namespace {

std::unique_ptr<AccessPoint> randomAccessPoint(std::mt19937& rng, int id) {
  auto ap = std::make_unique<AccessPoint>();
  ap->bssid = {0x02, 0, 0, 0, static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
  ap->channel = static_cast<uint16_t>(1 + rng() % 13);
  ap->bandwidthMHz = rng() % 4 == 0 ? 40 : 20;
  ap->secondaryChannel = ap->bandwidthMHz == 40 ? (ap->channel <= 7 ? 1 : 2) : 0;
  ap->rssi = -30.0f - static_cast<float>(rng() % 60);
  return ap;
}

void fillModel(AnalyzerModel& model, int accessPoints, int selected) {
  DeviceInfo info;
  info.band1BinsPerSweep = 256;
  info.band1MinDbm = -100.0f;
  model.setDeviceInfo(info);
  std::mt19937 rng(1);
  std::vector<float> row(BAND_2G4_ROW_BINS);
  for (int r = 0; r < SpectrumStore::HISTORY_DEPTH; ++r) {
    for (auto& v : row) v = -100.0f + static_cast<float>(rng() % 50);
    model.band24.sweepHistory.append(row.data(), BAND_2G4_ROW_BINS);
  }
  for (int i = 0; i < accessPoints; ++i) {
    model.accessPoints.push_back(randomAccessPoint(rng, i));
    if (i < selected) addToSelection(model.scanStatistics, model.accessPoints.back()->bssid);
  }
}

void BM_AccessPoints_UtilizationPass(benchmark::State& state) {
  AnalyzerModel model;
  fillModel(model, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    updateUtilization(model, true);
    benchmark::DoNotOptimize(model.accessPoints.front()->grade);
  }
  float sum = 0.0f;
  for (const auto& e : model.accessPoints) sum += e->grade;
  if (!(sum > 0.0f)) state.SkipWithError("no grades");
  state.counters["aps"] = static_cast<double>(state.range(0));
  state.counters["selected"] = static_cast<double>(state.range(1));
}
BENCHMARK(BM_AccessPoints_UtilizationPass)
    ->Args({10, 0})->Args({10, 10})->Args({50, 0})->Args({50, 20})->Args({200, 0})->Args({200, 20})
    ->Unit(benchmark::kMicrosecond);

void BM_AccessPoints_MergeScan(benchmark::State& state) {
  AnalyzerModel model;
  fillModel(model, static_cast<int>(state.range(0)), 0);
  std::mt19937 rng(2);
  for (auto _ : state) {
    state.PauseTiming();
    AccessPointBatch batch;
    for (int i = 0; i < 20; ++i) batch.push_back(randomAccessPoint(rng, static_cast<int>(rng() % (2 * state.range(0)))));
    state.ResumeTiming();
    mergeScan(model, std::move(batch), 0);
  }
  state.counters["listed"] = static_cast<double>(model.accessPoints.size());
}
BENCHMARK(BM_AccessPoints_MergeScan)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarvo
