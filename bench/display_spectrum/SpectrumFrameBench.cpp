// Frame cost of the spectrum views in the main scene at 960 × 640, fed with the simulator's
// WIFI scene as the dual-band accessory reports it.
//
//   BM_TraceView/band/sweepEvery      trace view: RAW + MAX HOLD + HEAT MAP, grid and overlay
//   BM_WaterfallView/band/sweepEvery  waterfall view with its threshold layer, history full
//   ..._GL                            into an offscreen framebuffer (llvmpipe), glFinish included
//   ..._Headless                      the same frame without GL: updates, processing, visit
//   BM_SceneOnly_GL                   the scene without the spectrum layers, for comparison
//   BM_DemoTenSeconds/view/band       ten seconds of the demo (controller thread playing the
//                                     recordings) with frames paced at 60 per second: the process
//                                     CPU over that time in percent of one core, llvmpipe's and
//                                     the controller's threads included
// sweepEvery: a new sweep every n frames (1 = every frame, the worst case; 15 = the 2.4 GHz
// band's 0.25 s period at 60 frames per second). Between frames the producer's work (history
// row and heat map, which the packet handler does on its own thread) is not timed.
#include <GL/glew.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"
#include "acquisition/protocol/AccessoryProtocol.h"
#include "acquisition/protocol/AccessoryProtocolFactory.h"
#include "core/AnalyzerModel.h"
#include "display/MainScene.h"
#include "display/spectrum/SpectrumLayers.h"
#include "engine/Engine.h"
#include "engine/services/Clock.h"
#include "engine/testing/Xvfb.h"
#include "tools/sim/AccessoryProfile.h"
#include "tools/sim/FrameEncoder.h"
#include "tools/sim/Scenes.h"

using namespace tarvo;

namespace {

double processCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// The heat map as the packet handler publishes it: counts of the newest 50 rows per level.
void publishHeatMap(SpectrumStore& s, uint32_t levels, int bins, float lo, float hi) {
  const float scale = float(levels - 1) / (hi - lo), offset = -lo * scale;
  s.heatMap.assign(size_t(levels) * bins, 0);
  const int rows = std::min(50, s.sweepHistory.size());
  for (int age = 0; age < rows; ++age) {
    const float* row = s.sweepHistory.rowByAge(age);
    for (int j = 0; j < bins; ++j) {
      const float x = row[j] * scale + offset;
      uint32_t level = x > 0 ? uint32_t(std::lround(x)) : 0;
      if (level >= levels) level = levels - 1;
      ++s.heatMap[size_t(level) * bins + j];
    }
  }
  s.heatMapBins = bins;
  s.heatMapLevels = int32_t(levels);
  s.heatMapDirty = true;
  s.heatMapAccumulated = false;
  s.heatMapChanged = true;
}

struct Bench {
  AnalyzerModel model;
  eng::ManualClock clock;
  eng::RefPtr<MainScene> scene;
  std::vector<std::vector<float>> sweeps[BAND_COUNT];
  int next[BAND_COUNT] = {0, 0};

  explicit Bench(bool waterfall, int band, bool withLayers = true) {
    const sim::AccessoryProfile profile = sim::defaultProfile(GENERATION_TARVO25);
    const sim::Bytes discover = sim::encodeDiscover(profile);
    DeviceInfo info;
    createAccessoryProtocol(GENERATION_TARVO25)->decodeDiscover(discover.data(), int(discover.size()), &info);
    model.setDeviceInfo(info);
    model.runtime.displaySizeClass = 3;
    model.spectrum.displayMode = waterfall ? 1 : 0;
    model.spectrum.band = band;
    model.spectrum.traceTypes[0] = TRACE_RAW;
    model.spectrum.traceTypes[1] = TRACE_MAX_HOLD;
    model.spectrum.traceTypes[2] = TRACE_HEAT_MAP;
    for (int b = 0; b < BAND_COUNT; ++b) {
      const sim::SpectrumScene wifi(sim::SceneKind::Wifi, b, 1234, profile.hostFloorDbm(b) + 6, 400);
      const sim::BinPlan plan = sim::binPlanFor(GENERATION_TARVO25, b);
      for (int k = 0; k < 400; ++k) sweeps[b].push_back(wifi.sweep(k, plan));
    }
    // A full history, as after two minutes of 2.4 GHz sweeps.
    for (int i = 0; i < SpectrumStore::HISTORY_DEPTH; ++i) feed();
    DisplayLayerFactory factory;
    if (withLayers) registerSpectrumLayers(factory);
    scene = MainScene::create(model, clock);
    scene->setLayerFactory(factory);
    eng::Director::getInstance()->runWithScene(scene.get());
  }
  void feed() {
    const int band = model.currentBand();
    const auto info = model.deviceInfo();
    ModelLock lock(model, LOCK_SPECTRUM);
    SpectrumStore& s = model.spectrumStore(band);
    const std::vector<float>& v = sweeps[band][size_t(next[band]++ % int(sweeps[band].size()))];
    const int k = std::min(int(v.size()), s.rowBins);
    s.sweepHistory.append(v.data(), k);
    s.lastSweepBins = k;
    s.newSweep = true;
    publishHeatMap(s, info->amplitudeLevels(band), k, info->minDbm(band), info->maxDbm(band));
  }
};

bool setUpDirector(benchmark::State& state, bool gl, eng::RefPtr<eng::GLView>& view) {
  eng::FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
  eng::Director* d = eng::Director::getInstance();
  if (!gl) {
    d->initHeadless(eng::Size(960, 640));
    return true;
  }
  view = eng::GLView::createOffscreen(eng::Size(960, 640));
  if (!view) {
    state.SkipWithError("no GL context");
    return false;
  }
  d->setOpenGLView(view.get());
  return true;
}

void runFrames(benchmark::State& state, bool waterfall, bool gl, bool withLayers = true) {
  eng::RefPtr<eng::GLView> view;
  if (!setUpDirector(state, gl, view)) return;
  eng::Director* d = eng::Director::getInstance();
  const int band = int(state.range(0));
  const int every = int(state.range(1));
  {
    Bench b(waterfall, band, withLayers);
    for (int i = 0; i < 10; ++i) {  // warm up: first rebuild, textures, glyphs, programs
      b.feed();
      d->stepFrame(1.f / 60);
    }
    const double cpu0 = processCpuSeconds();
    int64_t frames = 0;
    for (auto _ : state) {
      if (frames % every == 0) {
        state.PauseTiming();
        b.feed();
        state.ResumeTiming();
      }
      d->stepFrame(1.f / 60);
      if (gl) glFinish();
      ++frames;
    }
    state.counters["process_cpu_ms_per_frame"] = (processCpuSeconds() - cpu0) * 1e3 / double(std::max<int64_t>(frames, 1));
    const auto& stats = d->getRenderer()->lastFrameStats();
    state.counters["draw_calls"] = double(stats.drawCalls);
    state.counters["vertices"] = double(stats.vertices);
  }
  d->reset();
}

void BM_TraceView_GL(benchmark::State& s) { runFrames(s, false, true); }
void BM_TraceView_Headless(benchmark::State& s) { runFrames(s, false, false); }
void BM_WaterfallView_GL(benchmark::State& s) { runFrames(s, true, true); }
void BM_WaterfallView_Headless(benchmark::State& s) { runFrames(s, true, false); }

// The scene without the spectrum layers (grid, overlay, read-out labels): the baseline.
void BM_SceneOnly_GL(benchmark::State& s) { runFrames(s, false, true, false); }

void frameArgs(benchmark::internal::Benchmark* b) {
  for (int band : {0, 1})
    for (int every : {1, 15}) b->Args({band, every});
}
BENCHMARK(BM_SceneOnly_GL)->Args({0, 15})->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_TraceView_GL)->Apply(frameArgs)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_WaterfallView_GL)->Apply(frameArgs)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_TraceView_Headless)->Apply(frameArgs)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_WaterfallView_Headless)->Apply(frameArgs)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// Ten seconds of the demo at 60 frames per second: the acquisition delegate's controller
// thread plays the dual-band WIFI recordings in real time through the packet handler (as the
// application does without an accessory), the main thread renders the view paced to 60 frames
// per second. The figure is the whole process's CPU over the ten seconds.
void BM_DemoTenSeconds(benchmark::State& state) {
  eng::RefPtr<eng::GLView> view;
  if (!setUpDirector(state, true, view)) return;
  eng::Director* d = eng::Director::getInstance();
  const bool waterfall = state.range(0) != 0;
  const int band = int(state.range(1));
  {
    AnalyzerModel model;
    model.runtime.displaySizeClass = 3;
    model.demo.demoHardware = 2;
    model.demo.demoSignal = DEMO_SIGNAL_WIFI;
    model.spectrum.traceTypes[0] = TRACE_RAW;
    model.spectrum.traceTypes[1] = TRACE_MAX_HOLD;
    model.spectrum.traceTypes[2] = TRACE_HEAT_MAP;
    model.spectrum.band = band;
    model.spectrum.displayMode = waterfall ? 1 : 0;
    AccessoryCommunicationDelegate delegate(model, eng::systemClock());
    // The scene's first frame needs the demo's capability record, or its 5 GHz guard falls
    // back to 2.4 GHz before the demo has "discovered" the dual-band accessory.
    delegate.startController();
    for (int i = 0; i < 200 && model.deviceInfo()->generationCode == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    DisplayLayerFactory factory;
    registerSpectrumLayers(factory);
    MainScene* scene = MainScene::create(model, eng::systemClock());
    scene->setLayerFactory(factory);
    d->runWithScene(scene);
    for (auto _ : state) {
      using clock = std::chrono::steady_clock;
      const auto start = clock::now();
      const double cpu0 = processCpuSeconds();
      int late = 0;
      for (int f = 0; f < 600; ++f) {
        d->stepFrame(1.f / 60);
        glFinish();
        const auto due = start + std::chrono::microseconds(int64_t(f + 1) * 1000000 / 60);
        if (clock::now() > due) ++late;
        std::this_thread::sleep_until(due);
      }
      const double wall = std::chrono::duration<double>(clock::now() - start).count();
      state.counters["cpu_percent_of_one_core"] = 100.0 * (processCpuSeconds() - cpu0) / wall;
      state.counters["late_frames"] = late;
      ModelLock lock(model, LOCK_SPECTRUM);
      state.counters["sweeps_stored"] = model.spectrumStore(band).sweepHistory.size();
    }
    delegate.stopController();
  }
  d->reset();
}
BENCHMARK(BM_DemoTenSeconds)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  eng::testing::reexecUnderXvfbIfNoDisplay(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
