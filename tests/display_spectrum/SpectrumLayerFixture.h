// A headless director (or, for pixel tests, an offscreen GL view) with the build tree's
// resources, a scene, and a model of its own that the layers read.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "core/AnalyzerModel.h"
#include "engine/Engine.h"

namespace spectrumtest {

// The layers' rectangle: the inner plot area of a 960 × 640 window with a 64-point menu bar.
inline const eng::Rect PLOT(1, 65, 958, 574);

class LayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    eng::FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
    if (!eng::Director::getInstance()->getOpenGLView()) eng::Director::getInstance()->initHeadless(eng::Size(960, 640));
    scene = eng::Scene::create();
    eng::Director::getInstance()->runWithScene(scene);
    tarvo::DeviceInfo info;
    info.generationCode = tarvo::GENERATION_TARVO2;
    info.band1MinDbm = -100;
    info.band1MaxDbm = 0;
    info.band1BinsShown = 245;
    info.band2MinDbm = -100;
    info.band2MaxDbm = 0;
    info.band2BinsShown = 512;
    model.setDeviceInfo(info);
  }
  void TearDown() override { eng::Director::getInstance()->reset(eng::Director::getInstance()->getOpenGLView() != nullptr); }

  // Puts `layer` on the plot rectangle for band 0 and adds it to the scene.
  template <class L>
  L* place(L* layer) {
    layer->setPosition(PLOT.origin);
    layer->setContentSize(PLOT.size);
    layer->setBandFlags(true, false);
    scene->addChild(layer);
    return layer;
  }
  // A sweep as the packet handler stores it.
  void sweep(const std::vector<float>& values, int band = tarvo::BAND_2G4) {
    tarvo::ModelLock lock(model, tarvo::LOCK_SPECTRUM);
    tarvo::SpectrumStore& s = model.spectrumStore(band);
    s.sweepHistory.append(values.data(), static_cast<int>(values.size()));
    s.lastSweepBins = static_cast<int>(values.size());
    s.newSweep = true;
    s.heatMapChanged = true;
  }
  void frames(int n, float dt = 1.f / 60) {
    for (int i = 0; i < n; ++i) eng::Director::getInstance()->stepFrame(dt);
  }
  eng::EventDispatcher& touches() { return *eng::Director::getInstance()->getEventDispatcher(); }

  tarvo::AnalyzerModel model;
  eng::Scene* scene = nullptr;
};

}  // namespace spectrumtest
