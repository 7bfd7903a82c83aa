// Packet handler throughput per generation, against the USB full-speed limit, and the cost of
// one 5 GHz sweep as the history fills.
//
//   BM_Pipeline_HandlerThroughput/<generation>/<scans>: the generation's costliest mix of frames
//     fed in 2048-byte reads (one bulk transfer each) with the histories full and 20 access
//     points listed (so the throttled utilisation pass after 2.4 GHz sweeps does real work).
//     scans 0: the streaming frames (sweeps, and power captures where the accessory has them);
//     scans 1: plus a full 20-record scan frame every tenth round, each followed by the forced
//     utilisation pass (the accessory sends scans seconds apart, so this is far beyond what a
//     link can carry). bytes_per_second is the handler's rate; x_usb_full_speed is that rate
//     over 1.2 MB/s (goal: at least 100).
//   BM_Pipeline_Sweep5G/<fill>: one 516-byte 5 GHz sweep frame through the handler;
//     fill 0 = the first row after a store reset (the heat map is rebuilt), 1 = a history
//     still below the 50-row heat-map window, 2 = a full 510-row history. Goal: full / empty
//     at most 1.2.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

#include "TestFrames.h"
#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"

namespace tarvo {
namespace {

using namespace tarvo::testing;

constexpr double USB_FULL_SPEED_BYTES_PER_SECOND = 1.2e6;
constexpr int USB_READ_BYTES = 2048;

std::vector<uint8_t> codes(std::mt19937& rng, int n) {
  std::vector<uint8_t> out(n);
  for (auto& c : out) c = static_cast<uint8_t>(rng());
  return out;
}

// Everything a generation can send, interleaved: sweeps (with the utilisation pass where the
// accessory scans), power captures and, every tenth round, a full scan frame.
Bytes worstCaseMix(int generation, bool scans) {
  std::mt19937 rng(generation);
  Bytes s;
  auto add = [&](const Bytes& b) { s.insert(s.end(), b.begin(), b.end()); };
  for (int round = 0; round < 40; ++round) {
    switch (generation) {
      case 2:
        add(spectrumFrame(2, 0, 0, codes(rng, 50)));
        add(spectrumFrame(2, 0, 1, codes(rng, 50)));
        for (int seg = 0; seg < 6; ++seg) add(powerFrame(2, seg, true, codes(rng, 40)));
        break;
      case 6:
        add(spectrumFrame(6, 0, 0, codes(rng, 256)));
        add(powerFrame(6, 0, true, codes(rng, 1000)));
        if (scans && round % 10 == 0) add(scanFrame(scanRecords(20, round)));
        break;
      default:
        add(spectrumFrame(7, 0, 0, codes(rng, 256)));
        add(spectrumFrame(7, 1, 0, codes(rng, 512)));
        if (scans && round % 10 == 0) add(scanFrame(scanRecords(20, round)));
        break;
    }
  }
  return s;
}

struct Rig {
  explicit Rig(int generation) : delegate(model, clock) {
    DiscoverSpec spec;
    spec.generation = generation;
    spec.floorCode = 10;
    feed(concat({discoverFrame(spec), ackFrame()}));
  }
  void feed(const Bytes& bytes) {
    for (size_t at = 0; at < bytes.size(); at += USB_READ_BYTES) {
      const int n = static_cast<int>(std::min<size_t>(USB_READ_BYTES, bytes.size() - at));
      delegate.dataReceived(nullptr, nullptr, bytes.data() + at, n);
    }
  }
  AnalyzerModel model;
  eng::ManualClock clock;
  AccessoryCommunicationDelegate delegate;
};

void BM_Pipeline_HandlerThroughput(benchmark::State& state) {
  const int generation = static_cast<int>(state.range(0));
  Rig rig(generation);
  const Bytes mix = worstCaseMix(generation, state.range(1) != 0);
  if (generation != 2) rig.feed(scanFrame(scanRecords(20, 1000)));
  for (int i = 0; i < 20; ++i) rig.feed(mix);  // histories full
  const int rowsBefore = rig.model.band24.sweepHistory.size();
  for (auto _ : state) {
    rig.feed(mix);
    benchmark::ClobberMemory();
    state.PauseTiming();  // the power view's pruning
    {
      ModelLock lock(rig.model, LOCK_POWER);
      rig.model.powerTraces().clear();
    }
    state.ResumeTiming();
  }
  if (rowsBefore != SpectrumStore::HISTORY_DEPTH || rig.model.band24.sweepHistory.size() != rowsBefore ||
      rig.delegate.bufferedBytes() != 0)
    state.SkipWithError("the mix did not land in the stores");
  const double bytes = static_cast<double>(mix.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * mix.size()));
  state.counters["x_usb_full_speed"] =
      benchmark::Counter(bytes / USB_FULL_SPEED_BYTES_PER_SECOND, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Pipeline_HandlerThroughput)
    ->Args({2, 0})
    ->Args({6, 0})
    ->Args({7, 0})
    ->Args({6, 1})
    ->Args({7, 1})
    ->ArgNames({"generation", "scans"});

void BM_Pipeline_Sweep5G(benchmark::State& state) {
  const int fill = static_cast<int>(state.range(0));
  Rig rig(7);
  std::mt19937 rng(1);
  std::vector<Bytes> frames;
  for (int i = 0; i < 64; ++i) frames.push_back(spectrumFrame(7, 1, 0, codes(rng, 512)));
  const SpectrumStore& store = rig.model.band5;
  auto reset = [&] {
    ModelLock lock(rig.model, LOCK_SPECTRUM | LOCK_AP_LIST);
    rig.model.resetSpectrumData();
  };
  if (fill == 2)
    for (int i = 0; i < SpectrumStore::HISTORY_DEPTH; ++i) rig.feed(frames[i % frames.size()]);

  size_t next = 0;
  for (auto _ : state) {
    if (fill == 0) {
      reset();
    } else if (fill == 1 && store.sweepHistory.size() >= 40) {
      reset();
      rig.feed(frames[next++ % frames.size()]);  // the rebuild after the reset, untimed
    }
    const Bytes& frame = frames[next++ % frames.size()];
    const auto t0 = std::chrono::steady_clock::now();
    rig.delegate.dataReceived(nullptr, nullptr, frame.data(), static_cast<int>(frame.size()));
    const auto t1 = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  if (fill == 2 && store.sweepHistory.size() != SpectrumStore::HISTORY_DEPTH) state.SkipWithError("history not full");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 516);
}
BENCHMARK(BM_Pipeline_Sweep5G)->Arg(0)->Arg(1)->Arg(2)->ArgName("fill")->UseManualTime();

}  // namespace
}  // namespace tarvo
