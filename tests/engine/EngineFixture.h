// A headless director (no window, no GL) with the build tree's resources.
#pragma once

#include <gtest/gtest.h>

#include "engine/Engine.h"

namespace enginetest {

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    eng::FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
    eng::Director::getInstance()->initHeadless(eng::Size(960, 640));
  }
  void TearDown() override { eng::Director::getInstance()->reset(); }

  eng::Director& director() { return *eng::Director::getInstance(); }
  eng::EventDispatcher& touches() { return *director().getEventDispatcher(); }
  // A running scene, retained by the director.
  eng::Scene* runScene() {
    eng::Scene* s = eng::Scene::create();
    director().runWithScene(s);
    return s;
  }
  void frames(int n, float dt = 1.f / 60) {
    for (int i = 0; i < n; ++i) director().stepFrame(dt);
  }
};

}  // namespace enginetest
