// Captures of the spectrum views in the main scene, fed with the dual-band demo recordings
// (packets/Tarvo5x/: discover, spectrumWifi.bin for 2.4 GHz, spectrum5GHzWifi.bin for 5 GHz).
//
//   spectrum_demo_capture OUTDIR [SWEEPS]
//
// writes OUTDIR/trace_2g4.png, trace_5g.png (RAW + MAX HOLD + HEAT MAP) and waterfall_2g4.png,
// waterfall_5g.png, each after SWEEPS sweeps (default 200) of the band's recording. The frames
// are decoded with the dual-band decoder and stored as the packet handler stores them (history
// row, heat map of the newest 50 rows); the scene steps one frame per sweep, which processes
// every sweep exactly as at the accessory's pace. Without an X display the program runs itself
// again under xvfb-run.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "acquisition/protocol/AccessoryProtocol.h"
#include "acquisition/protocol/AccessoryProtocolFactory.h"
#include "core/AnalyzerModel.h"
#include "display/MainScene.h"
#include "display/spectrum/SpectrumLayers.h"
#include "engine/Engine.h"
#include "engine/services/Clock.h"
#include "engine/testing/Xvfb.h"

using namespace tarvo;

namespace {

constexpr const char* PREFIX = "packets/Tarvo5x/Tarvo5x_";

struct Feed {
  std::unique_ptr<AccessoryProtocol> decoder = createAccessoryProtocol(GENERATION_TARVO25);
  std::vector<uint8_t> bytes;
  size_t at = 0;

  // The next sweep of the recording (looping), or false when it holds none.
  bool next(std::vector<float>& out, int& band) {
    for (int guard = 0; guard < 100000 && !bytes.empty(); ++guard) {
      if (at >= bytes.size()) at = 0;
      const int avail = int(bytes.size() - at);
      const int len = decoder->frameLength(bytes.data() + at, avail);
      if (len <= 0) {
        ++at;
        continue;
      }
      float values[512];
      int count = 0, b = 0, segment = 0;
      const int r = decoder->decodeSpectrum(bytes.data() + at, len, values, 512, &count, &b, &segment);
      at += size_t(len);
      if (r < 0 || count <= 0 || segment == 255) continue;
      out.assign(values, values + count);
      band = b == 2 ? BAND_5G : BAND_2G4;
      return true;
    }
    return false;
  }
};

// What the packet handler does with a sweep: a history row and the heat map of the newest 50.
void store(AnalyzerModel& model, int band, const std::vector<float>& sweep) {
  const auto info = model.deviceInfo();
  ModelLock lock(model, LOCK_SPECTRUM);
  SpectrumStore& s = model.spectrumStore(band);
  const int k = std::min(int(sweep.size()), s.rowBins);
  s.sweepHistory.append(sweep.data(), k);
  s.newSweep = true;
  s.lastSweepBins = k;
  const uint32_t levels = std::clamp<uint32_t>(info->amplitudeLevels(band), 1, 256);
  const float lo = info->minDbm(band), hi = info->maxDbm(band);
  const float scale = float(levels - 1) / (hi - lo), offset = -lo * scale;
  s.heatMap.assign(size_t(levels) * k, 0);
  const int rows = std::min(50, s.sweepHistory.size());
  for (int age = 0; age < rows; ++age) {
    const float* row = s.sweepHistory.rowByAge(age);
    for (int j = 0; j < k; ++j) {
      const float x = row[j] * scale + offset;
      uint32_t level = x > 0 ? uint32_t(std::lround(x)) : 0;
      if (level >= levels) level = levels - 1;
      ++s.heatMap[size_t(level) * k + j];
    }
  }
  s.heatMapBins = k;
  s.heatMapLevels = int32_t(levels);
  s.heatMapDirty = true;
  s.heatMapAccumulated = false;
  s.heatMapChanged = true;
}

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

  auto& files = eng::FileUtils::getInstance();
  files.setResourceRoot(TARVO_BINARY_DIR);
  eng::RefPtr<eng::GLView> view = eng::GLView::createOffscreen(eng::Size(960, 640));
  if (!view) {
    std::fprintf(stderr, "no GL context\n");
    return 1;
  }
  eng::Director* d = eng::Director::getInstance();
  d->setOpenGLView(view.get());

  AnalyzerModel model;
  eng::ManualClock clock;
  const std::vector<uint8_t> discover = files.getDataFromFile(std::string(PREFIX) + "discover.bin");
  DeviceInfo info;
  Feed probe;
  if (discover.empty() || probe.decoder->decodeDiscover(discover.data(), int(discover.size()), &info) < 0) {
    std::fprintf(stderr, "cannot read the dual-band discover recording\n");
    return 1;
  }
  model.setDeviceInfo(info);
  model.runtime.displaySizeClass = 3;
  model.spectrum.traceTypes[0] = TRACE_RAW;
  model.spectrum.traceTypes[1] = TRACE_MAX_HOLD;
  model.spectrum.traceTypes[2] = TRACE_HEAT_MAP;
  model.spectrum.ssidEnabled = 0;

  DisplayLayerFactory factory;
  registerSpectrumLayers(factory);
  int failures = 0;
  for (int band : {BAND_2G4, BAND_5G}) {
    Feed feed;
    // The decoder takes its calibration from the discover response.
    DeviceInfo again;
    feed.decoder->decodeDiscover(discover.data(), int(discover.size()), &again);
    feed.bytes = files.getDataFromFile(std::string(PREFIX) + (band == BAND_5G ? "spectrum5GHzWifi.bin" : "spectrumWifi.bin"));
    for (int waterfall : {0, 1}) {
      {
        ModelLock lock(model, LOCK_SPECTRUM | LOCK_AP_LIST);
        model.resetSpectrumData();
      }
      model.spectrum.band = band;
      model.spectrum.displayMode = uint8_t(waterfall);
      MainScene* scene = MainScene::create(model, clock);
      scene->setLayerFactory(factory);
      d->runWithScene(scene);
      d->stepFrame(1.f / 60);
      std::vector<float> sweep;
      int got = 0, sweepBand = 0;
      while (got < sweeps && feed.next(sweep, sweepBand)) {
        if (sweepBand != band) continue;
        store(model, band, sweep);
        d->stepFrame(1.f / 60);
        ++got;
      }
      if (got == 0) {
        std::fprintf(stderr, "no sweeps for band %d\n", band);
        ++failures;
        continue;
      }
      const std::string name = std::string(waterfall ? "waterfall" : "trace") + (band == BAND_5G ? "_5g" : "_2g4") + ".png";
      if (!capture(out + "/" + name)) ++failures;
    }
  }
  d->reset();
  return failures == 0 ? 0 : 1;
}
