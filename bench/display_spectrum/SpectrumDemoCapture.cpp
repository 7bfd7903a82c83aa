// Captures of the spectrum views in the main scene while the built-in demo plays the
// dual-band accessory's WIFI recordings (demoHardware 2, demoSignal WIFI).
//
//   spectrum_demo_capture OUTDIR [SWEEPS]
//
// writes OUTDIR/trace_2g4.png, trace_5g.png (RAW + MAX HOLD + HEAT MAP) and waterfall_2g4.png,
// waterfall_5g.png. Each capture runs a fresh acquisition delegate on virtual time: its
// controller cycle (every 100 ms) walks the demo's discover, configure and store reset and
// feeds the recordings through the packet handler at the accessory's sweep period, until SWEEPS
// sweeps (default 200) of the band are stored. The scene steps one frame per cycle, which
// processes every sweep (sweeps come at most every 2.5 cycles). Without an X display the
// program runs itself again under xvfb-run.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"
#include "core/AnalyzerModel.h"
#include "display/MainScene.h"
#include "display/spectrum/SpectrumLayers.h"
#include "engine/Engine.h"
#include "engine/services/Clock.h"
#include "engine/testing/Xvfb.h"

using namespace tarvo;

namespace {

bool capture(const std::string& path) {
  bool ok = false;
  eng::Director::getInstance()->requestCapture([&](const eng::Image& img) { ok = eng::savePng(path, img, true); });
  eng::Director::getInstance()->stepFrame(1.f / 60);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  eng::testing::reexecUnderXvfbIfNoDisplay(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTDIR [SWEEPS]\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  const int sweeps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;

  eng::FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
  eng::RefPtr<eng::GLView> view = eng::GLView::createOffscreen(eng::Size(960, 640));
  if (!view) {
    std::fprintf(stderr, "no GL context\n");
    return 1;
  }
  eng::Director* d = eng::Director::getInstance();
  d->setOpenGLView(view.get());

  DisplayLayerFactory factory;
  registerSpectrumLayers(factory);
  int failures = 0;
  for (int band : {BAND_2G4, BAND_5G}) {
    for (int waterfall : {0, 1}) {
      auto model = std::make_unique<AnalyzerModel>();
      eng::ManualClock clock;
      model->runtime.displaySizeClass = 3;
      model->demo.demoHardware = 2;
      model->demo.demoSignal = DEMO_SIGNAL_WIFI;
      model->spectrum.traceTypes[0] = TRACE_RAW;
      model->spectrum.traceTypes[1] = TRACE_MAX_HOLD;
      model->spectrum.traceTypes[2] = TRACE_HEAT_MAP;
      model->spectrum.ssidEnabled = 0;  // sweeps only: no scan cycles between them
      model->spectrum.band = band;
      model->spectrum.displayMode = uint8_t(waterfall);
      AccessoryCommunicationDelegate delegate(*model, clock);
      MainScene* scene = MainScene::create(*model, clock);
      scene->setLayerFactory(factory);
      d->runWithScene(scene);
      int cycles = 0;
      const int maxCycles = sweeps * 20 + 200;
      auto stored = [&] {
        ModelLock lock(*model, LOCK_SPECTRUM);
        return model->spectrumStore(band).sweepHistory.size();
      };
      while (stored() < sweeps && cycles < maxCycles) {
        clock.advanceMs(CONTROLLER_CYCLE_MS);
        delegate.runCycle();
        d->stepFrame(CONTROLLER_CYCLE_MS / 1000.f);
        ++cycles;
      }
      const int got = stored();
      const std::string name = std::string(waterfall ? "waterfall" : "trace") + (band == BAND_5G ? "_5g" : "_2g4") + ".png";
      std::printf("%s: %d sweeps in %.1f s of demo\n", name.c_str(), got, cycles * CONTROLLER_CYCLE_MS / 1000.0);
      if (got == 0 || !capture(out + "/" + name)) ++failures;
      d->replaceScene(eng::Scene::create());
      d->stepFrame(1.f / 60);
    }
  }
  d->reset();
  return failures == 0 ? 0 : 1;
}
