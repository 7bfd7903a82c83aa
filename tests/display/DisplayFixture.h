// A headless director (no window, no GL) with the build tree's resources, a model of its own,
// a manual wall clock, a recording menu attachment and a layer factory whose layers are plain
// recorded nodes, so the scene's rebuild cycle can be watched without the real layers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/AnalyzerModel.h"
#include "display/DisplayLayerFactory.h"
#include "display/MainScene.h"
#include "display/MenuAttachment.h"
#include "engine/Engine.h"
#include "engine/services/Clock.h"

namespace displaytest {

// Records what the scene asks of the menu controller; the slide state is set by the test.
struct RecordingMenus : tarvo::MenuAttachment {
  int attaches = 0, detaches = 0, rebuilds = 0, retracts = 0;
  bool connected = false;
  float slide = 0.0f;
  float tabWidth = 0.0f;
  bool wide = true;
  std::vector<std::string> alerts;
  void attach(eng::Scene*) override { ++attaches; }
  void detach() override { ++detaches; }
  void setConnected(bool c) override { connected = c; }
  void rebuildMenuBar() override { ++rebuilds; }
  float slidePercent() const override { return slide; }
  void retractImmediately() override { ++retracts; }
  float flyInButtonWidth() const override { return tabWidth; }
  bool isWide() const override { return wide; }
  void showAlert(const std::string& title, const std::string& message, const std::string& button) override {
    alerts.push_back(title + "|" + message + "|" + button);
  }
};

// A stand-in table that counts its reloads.
class FakeTable : public eng::Layer, public tarvo::ReloadableTable {
 public:
  ENG_CREATE_FUNC(FakeTable)
  void reloadRows() override { ++reloads; }
  int reloads = 0;
};

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    eng::FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
    eng::Director::getInstance()->initHeadless(eng::Size(960, 640));
    model.runtime.displaySizeClass = 3;
    tarvo::setMenuAttachment(&menus);
    factory = recordingFactory();
  }
  void TearDown() override {
    eng::Director::getInstance()->reset();
    tarvo::setMenuAttachment(nullptr);
  }

  // Every layer entry makes a node named after its slot.
  tarvo::DisplayLayerFactory recordingFactory() {
    tarvo::DisplayLayerFactory f;
    auto named = [this](const char* name) {
      return [this, name](const tarvo::LayerContext& c) -> eng::Node* {
        eng::Node* n = eng::Layer::create();
        n->setName(name);
        created.push_back(name);
        lastArea = c.area;
        return n;
      };
    };
    f.trace = named("trace");
    f.ssidMarkers = named("ssid");
    f.waterfall = named("waterfall");
    f.threshold = named("threshold");
    f.powerTrace = named("power");
    f.powerUI = named("powerUI");
    f.cursors = named("cursors");
    f.channelGuide = named("guide");
    f.ssidTable = [](tarvo::AnalyzerModel&) -> eng::Node* { return FakeTable::create(); };
    f.utilizationTable = [](tarvo::AnalyzerModel&) -> eng::Node* { return FakeTable::create(); };
    return f;
  }

  tarvo::MainScene* runScene() {
    tarvo::MainScene* s = tarvo::MainScene::create(model, clock);
    s->setLayerFactory(factory);
    s->setMenuAttachment(menus);
    eng::Director::getInstance()->runWithScene(s);
    return s;
  }
  void frames(int n, float dt = 1.f / 60) {
    for (int i = 0; i < n; ++i) eng::Director::getInstance()->stepFrame(dt);
  }
  eng::EventDispatcher& touches() { return *eng::Director::getInstance()->getEventDispatcher(); }

  // The names of the scene's z-0 display layers in draw order.
  static std::vector<std::string> displayLayerOrder(tarvo::MainScene* s) {
    std::vector<std::string> out;
    for (eng::Node* n : s->sortedChildren()) {
      if (n->getLocalZOrder() != 0) continue;
      if (n == s->grid()) out.push_back("grid");
      else if (n == s->overlay()) out.push_back("overlay");
      else out.push_back(n->getName());
    }
    return out;
  }

  tarvo::AnalyzerModel model;
  eng::ManualClock clock;
  RecordingMenus menus;
  tarvo::DisplayLayerFactory factory;
  std::vector<std::string> created;
  eng::Rect lastArea;
};

}  // namespace displaytest
