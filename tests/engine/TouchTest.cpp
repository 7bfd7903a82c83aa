// Touch dispatch: claim, swallow, front-most first, multi-touch ids.
#include <string>
#include <vector>

#include "EngineFixture.h"

using namespace eng;
using enginetest::HeadlessTest;

namespace {

class TouchTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    scene = runScene();
  }
  // A full-window node at z whose listener logs "<name>:<phase><id>".
  EventListenerTouchOneByOne* listen(Node* parent, const std::string& name, int z, bool claim, bool swallow) {
    Node* n = Node::create();
    n->setContentSize(Size(960, 640));
    n->setName(name);
    parent->addChild(n, z);
    auto* l = EventListenerTouchOneByOne::create();
    l->setSwallowTouches(swallow);
    l->onTouchBegan = [this, name, claim](Touch* t) {
      log.push_back(name + ":b" + std::to_string(t->getId()));
      return claim;
    };
    l->onTouchMoved = [this, name](Touch* t) { log.push_back(name + ":m" + std::to_string(t->getId())); };
    l->onTouchEnded = [this, name](Touch* t) { log.push_back(name + ":e" + std::to_string(t->getId())); };
    l->onTouchCancelled = [this, name](Touch* t) { log.push_back(name + ":c" + std::to_string(t->getId())); };
    touches().addEventListenerWithSceneGraphPriority(l, n);
    nodes[name] = n;
    return l;
  }
  std::string joined() const {
    std::string s;
    for (auto& e : log) s += (s.empty() ? "" : " ") + e;
    return s;
  }
  Scene* scene = nullptr;
  std::vector<std::string> log;
  std::map<std::string, Node*> nodes;
};

TEST_F(TouchTest, FrontMostFirstAndOnlyClaimersHearTheRest) {
  listen(scene, "back", 0, true, false);
  listen(scene, "front", 10, false, false);
  listen(scene, "middle", 5, true, false);
  TouchScript(touches()).drag(0, Vec2(10, 10), Vec2(20, 20), 1);
  EXPECT_EQ(joined(), "front:b0 middle:b0 back:b0 middle:m0 back:m0 middle:e0 back:e0");
}

TEST_F(TouchTest, SwallowingClaimerHidesTheTouchFromListenersBehind) {
  listen(scene, "back", 0, true, false);
  listen(scene, "popover", 100, true, true);
  TouchScript(touches()).tap(0, Vec2(1, 1));
  EXPECT_EQ(joined(), "popover:b0 popover:e0");
}

TEST_F(TouchTest, ASwallowingListenerThatDeclinesLetsTheTouchThrough) {
  listen(scene, "back", 0, true, false);
  listen(scene, "cursor", 100, false, true);
  TouchScript(touches()).tap(0, Vec2(1, 1));
  EXPECT_EQ(joined(), "cursor:b0 back:b0 back:e0");
}

TEST_F(TouchTest, ChildrenComeBeforeTheirParentAndLaterSiblingsFirst) {
  listen(scene, "layer", 0, false, false);
  Node* layer = nodes["layer"];
  listen(layer, "first", 0, false, false);
  listen(layer, "second", 0, false, false);
  listen(layer, "under", -1, false, false);
  touches().touchesBegan(0, Vec2(5, 5));
  EXPECT_EQ(joined(), "second:b0 first:b0 layer:b0 under:b0");
}

TEST_F(TouchTest, ListenersOfNodesOutsideTheRunningSceneOrHiddenAreSkipped) {
  listen(scene, "shown", 0, false, false);
  listen(scene, "hidden", 1, true, true);
  nodes["hidden"]->setVisible(false);
  Node* loose = Node::create();
  auto* l = EventListenerTouchOneByOne::create();
  l->onTouchBegan = [this](Touch*) { log.push_back("loose"); return true; };
  touches().addEventListenerWithSceneGraphPriority(l, loose);
  touches().touchesBegan(0, Vec2(5, 5));
  EXPECT_EQ(joined(), "shown:b0");
}

TEST_F(TouchTest, PinchDeliversBothIdsWithCurrentLocations) {
  std::map<int, Vec2> starts;
  std::vector<float> distances;
  Node* layer = Node::create();
  scene->addChild(layer);
  std::map<int, RefPtr<Touch>> tracked;
  auto* l = EventListenerTouchOneByOne::create();
  l->onTouchBegan = [&](Touch* t) {
    tracked[t->getId()] = t;
    starts[t->getId()] = t->getStartLocation();
    return true;
  };
  l->onTouchMoved = [&](Touch*) {
    if (tracked.size() == 2) distances.push_back(tracked[1]->getLocation().distance(tracked[2]->getLocation()));
  };
  l->onTouchEnded = [&](Touch* t) { tracked.erase(t->getId()); };
  touches().addEventListenerWithSceneGraphPriority(l, layer);
  TouchScript(touches()).pinch(1, 2, Vec2(480, 320), Vec2(0, 1), 40, 160);
  ASSERT_EQ(distances.size(), 2u) << "one move event per touch";
  EXPECT_FLOAT_EQ(distances[0], 160) << "both touches moved before either listener call";
  EXPECT_EQ(starts[1], Vec2(480, 300));
  EXPECT_EQ(starts[2], Vec2(480, 340));
  EXPECT_TRUE(tracked.empty());
  EXPECT_EQ(touches().activeTouchCount(), 0u);
}

TEST_F(TouchTest, TouchKnowsStartPreviousAndDelta) {
  Node* layer = Node::create();
  scene->addChild(layer);
  std::vector<Vec2> deltas;
  Vec2 start;
  auto* l = EventListenerTouchOneByOne::create();
  l->onTouchBegan = [](Touch*) { return true; };
  l->onTouchMoved = [&](Touch* t) {
    deltas.push_back(t->getDelta());
    start = t->getStartLocation();
  };
  touches().addEventListenerWithSceneGraphPriority(l, layer);
  TouchScript(touches()).drag(0, Vec2(100, 100), Vec2(140, 60), 2);
  EXPECT_EQ(deltas, (std::vector<Vec2>{Vec2(20, -20), Vec2(20, -20)}));
  EXPECT_EQ(start, Vec2(100, 100));
}

TEST_F(TouchTest, RemovingTheClaimerDuringTheGestureEndsItCleanly) {
  listen(scene, "menu", 0, true, true);
  touches().touchesBegan(0, Vec2(5, 5));
  nodes["menu"]->removeFromParentAndCleanup(true);
  frames(1);  // the node is gone with its listener
  touches().touchesMoved(0, Vec2(6, 6));
  touches().touchesEnded(0, Vec2(6, 6));
  EXPECT_EQ(joined(), "menu:b0");
  EXPECT_EQ(touches().touchListenerCount(), 0u);
}

TEST_F(TouchTest, ARepeatedBeganForAnIdCancelsTheLostTouchFirst) {
  listen(scene, "layer", 0, true, false);
  touches().touchesBegan(0, Vec2(5, 5));
  touches().touchesBegan(0, Vec2(9, 9));
  EXPECT_EQ(joined(), "layer:b0 layer:c0 layer:b0");
}

TEST_F(TouchTest, FixedPriorityListenersBracketTheScene) {
  listen(scene, "scene", 0, false, false);
  auto add = [&](const std::string& name, int prio) {
    auto* l = EventListenerTouchOneByOne::create();
    l->onTouchBegan = [this, name](Touch*) { log.push_back(name); return false; };
    touches().addEventListenerWithFixedPriority(l, prio);
  };
  add("after", 1);
  add("before", -1);
  touches().touchesBegan(0, Vec2(1, 1));
  EXPECT_EQ(joined(), "before scene:b0 after");
}

TEST_F(TouchTest, KeysReachKeyboardListeners) {
  std::vector<KeyCode> keys;
  auto* k = EventListenerKeyboard::create();
  k->onKeyPressed = [&](KeyCode c) { keys.push_back(c); };
  touches().addKeyboardListener(k, scene);
  touches().keyPressed(KeyCode::ESCAPE);
  touches().keyPressed(KeyCode::SPACE);
  EXPECT_EQ(keys, (std::vector<KeyCode>{KeyCode::ESCAPE, KeyCode::SPACE}));
}

TEST(DeviceTest, DpiFallsBackTo96AndIsSettableForTests) {
  Device::setDPIForTesting(0);
  EXPECT_FLOAT_EQ(Device::getDPI(), 96.f);
  Device::setDPIForTesting(144);
  EXPECT_FLOAT_EQ(Device::getDPI(), 144.f);
  Device::setDPIForTesting(0);
}

}  // namespace
