// Scene graph: lifecycle, draw order, opacity cascade, transforms, reference counting.
#include <map>
#include <string>
#include <vector>

#include "EngineFixture.h"

using namespace eng;
using enginetest::HeadlessTest;

namespace {

std::vector<std::string>* g_log = nullptr;

// Logs its lifecycle calls; a flag tells when it is destroyed.
class Probe : public Node {
 public:
  static Probe* create(const std::string& name, bool* destroyed = nullptr) {
    auto* p = new Probe();
    p->setName(name);
    p->destroyed_ = destroyed;
    p->autorelease();
    return p;
  }
  void onEnter() override {
    log("enter " + getName());
    Node::onEnter();
  }
  void onExit() override {
    log("exit " + getName());
    Node::onExit();
  }
  void cleanup() override {
    log("cleanup " + getName());
    Node::cleanup();
  }
  void update(float) override { ++updates; }
  int updates = 0;

 protected:
  ~Probe() override {
    if (destroyed_) *destroyed_ = true;
  }

 private:
  void log(const std::string& s) {
    if (g_log) g_log->push_back(s);
  }
  bool* destroyed_ = nullptr;
};

class NodeTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    g_log = &log;
  }
  void TearDown() override {
    HeadlessTest::TearDown();
    g_log = nullptr;
  }
  std::vector<std::string> log;
};

TEST_F(NodeTest, EnterAndExitReachEveryNodeOnceParentBeforeChild) {
  Scene* scene = runScene();
  Probe* parent = Probe::create("parent");
  Probe* child = Probe::create("child");
  parent->addChild(child);
  EXPECT_TRUE(log.empty()) << "a parent outside the running scene does not enter its children";
  scene->addChild(parent);
  EXPECT_EQ(log, (std::vector<std::string>{"enter parent", "enter child"}));
  EXPECT_TRUE(parent->isRunning());
  EXPECT_TRUE(child->isRunning());
  log.clear();
  parent->removeFromParentAndCleanup(true);
  EXPECT_EQ(log, (std::vector<std::string>{"exit parent", "exit child", "cleanup parent", "cleanup child"}));
  EXPECT_FALSE(child->isRunning());
}

TEST_F(NodeTest, CleanupStopsActionsAndUpdatesButPlainRemovalOnlyPausesThem) {
  Scene* scene = runScene();
  RefPtr<Probe> kept = Probe::create("kept");
  RefPtr<Probe> cleaned = Probe::create("cleaned");
  for (Probe* p : {kept.get(), cleaned.get()}) {
    scene->addChild(p);
    p->scheduleUpdate();
    p->runAction(RepeatForever::create(RotateBy::create(1.f, 360)));
  }
  frames(1);
  EXPECT_EQ(kept->updates, 1);
  kept->removeFromParentAndCleanup(false);
  cleaned->removeFromParentAndCleanup(true);
  EXPECT_EQ(kept->getNumberOfRunningActions(), 1);
  EXPECT_EQ(cleaned->getNumberOfRunningActions(), 0);
  const float angle = kept->getRotation();
  frames(3);
  EXPECT_EQ(kept->updates, 1) << "a node out of the scene is paused";
  EXPECT_FLOAT_EQ(kept->getRotation(), angle);
  scene->addChild(kept.get());
  scene->addChild(cleaned.get());
  frames(1);
  EXPECT_EQ(kept->updates, 2) << "re-adding resumes its update";
  EXPECT_NE(kept->getRotation(), angle);
  EXPECT_EQ(cleaned->updates, 1) << "clean-up unscheduled the update for good";
}

TEST_F(NodeTest, ChildrenDrawByLocalZThenInsertionNegativeBeforeParent) {
  Scene* scene = runScene();
  Node* parent = Node::create();
  scene->addChild(parent);
  std::map<std::string, Node*> n;
  const std::pair<const char*, int> kids[] = {{"a", 0}, {"b", -1}, {"c", 0}, {"d", 1}, {"e", -1}};
  for (auto& [name, z] : kids) {
    Node* c = Node::create();
    c->setName(name);
    parent->addChild(c, z);
    n[name] = c;
  }
  auto order = [&] {
    frames(1);
    std::string s;
    for (const Node* v : director().getRenderer()->lastVisitOrder()) {
      if (v == parent) s += "P";
      else if (v != scene) s += v->getName();
    }
    return s;
  };
  EXPECT_EQ(order(), "bePacd");
  // Re-ordering at run time keeps insertion order among equals.
  n["c"]->setLocalZOrder(-1);
  EXPECT_EQ(order(), "bcePad");
  n["b"]->setLocalZOrder(5);
  EXPECT_EQ(order(), "cePadb");
}

TEST_F(NodeTest, DrawCommandsExecuteInVisitOrder) {
  Scene* scene = runScene();
  LayerColor* back = LayerColor::create(Color4B(255, 0, 0, 255), 10, 10);
  LayerColor* front = LayerColor::create(Color4B(0, 255, 0, 255), 10, 10);
  scene->addChild(front, 2);
  scene->addChild(back, 1);
  frames(1);
  const auto& owners = director().getRenderer()->lastFrameOwners();
  ASSERT_EQ(owners.size(), 2u);
  EXPECT_EQ(owners[0], back);
  EXPECT_EQ(owners[1], front);
}

TEST_F(NodeTest, OpacityCascadesOnlyFromParentsThatEnableIt) {
  struct Row {
    const char* name;
    bool rootCascades, midCascades;
    uint8_t root, mid, leaf;
    uint8_t expectMid, expectLeaf;
  };
  const Row rows[] = {
      {"no cascading", false, false, 128, 128, 200, 128, 200},
      {"root only", true, false, 128, 128, 200, 64, 200},
      {"both", true, true, 128, 128, 255, 64, 64},
      {"mid only", false, true, 0, 128, 255, 128, 128},
      {"transparent root hides all", true, true, 0, 255, 255, 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Node* root = Node::create();
    Node* mid = Node::create();
    Node* leaf = Node::create();
    root->addChild(mid);
    mid->addChild(leaf);
    root->setCascadeOpacityEnabled(r.rootCascades);
    mid->setCascadeOpacityEnabled(r.midCascades);
    root->setOpacity(r.root);
    mid->setOpacity(r.mid);
    leaf->setOpacity(r.leaf);
    EXPECT_EQ(mid->getDisplayedOpacity(), r.expectMid);
    EXPECT_EQ(leaf->getDisplayedOpacity(), r.expectLeaf);
    EXPECT_EQ(leaf->getOpacity(), r.leaf) << "the own opacity is untouched";
  }
}

TEST_F(NodeTest, BoundingBoxFollowsAnchorScaleAndRotation) {
  struct Row {
    const char* name;
    Vec2 anchor;
    float sx, sy, rotation;
    Rect expect;
  };
  const Row rows[] = {
      {"anchor centre", {0.5f, 0.5f}, 1, 1, 0, Rect(150, 75, 100, 50)},
      {"anchor bottom-left", {0, 0}, 1, 1, 0, Rect(200, 100, 100, 50)},
      {"anchor top-right", {1, 1}, 1, 1, 0, Rect(100, 50, 100, 50)},
      {"scale 2 about the centre", {0.5f, 0.5f}, 2, 2, 0, Rect(100, 50, 200, 100)},
      {"negative y scale mirrors about the anchor", {0.5f, 0}, 1, -1, 0, Rect(150, 50, 100, 50)},
      {"quarter turn", {0.5f, 0.5f}, 1, 1, 90, Rect(175, 50, 50, 100)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Node* n = Node::create();
    n->setContentSize(Size(100, 50));
    n->setAnchorPoint(r.anchor);
    n->setPosition(200, 100);
    n->setScale(r.sx, r.sy);
    n->setRotation(r.rotation);
    const Rect b = n->getBoundingBox();
    EXPECT_NEAR(b.getMinX(), r.expect.getMinX(), 1e-3);
    EXPECT_NEAR(b.getMinY(), r.expect.getMinY(), 1e-3);
    EXPECT_NEAR(b.size.width, r.expect.size.width, 1e-3);
    EXPECT_NEAR(b.size.height, r.expect.size.height, 1e-3);
  }
}

TEST_F(NodeTest, SpaceConversionsComposeParentsAndInvert) {
  Node* parent = Node::create();
  parent->setPosition(100, 100);
  parent->setScale(2);
  Node* child = Node::create();
  child->setPosition(10, 10);
  parent->addChild(child);
  EXPECT_EQ(child->convertToWorldSpace(Vec2(0, 0)), Vec2(120, 120));
  EXPECT_EQ(child->convertToWorldSpace(Vec2(5, 0)), Vec2(130, 120));
  const Vec2 back = child->convertToNodeSpace(Vec2(130, 120));
  EXPECT_NEAR(back.x, 5, 1e-4);
  EXPECT_NEAR(back.y, 0, 1e-4);
  // Clockwise rotation: +x of the child points down in the world.
  child->setRotation(90);
  const Vec2 p = child->convertToWorldSpace(Vec2(5, 0));
  EXPECT_NEAR(p.x, 120, 1e-4);
  EXPECT_NEAR(p.y, 110, 1e-4);
}

TEST_F(NodeTest, HitTestUsesTheNodesOwnSpace) {
  Node* parent = Node::create();
  parent->setPosition(100, 0);
  Node* n = Node::create();
  n->setContentSize(Size(50, 20));
  n->setAnchorPoint(Vec2(1, 0.5f));  // right-centre anchored, as a value text
  n->setPosition(200, 100);
  parent->addChild(n);
  EXPECT_TRUE(n->hitTest(Vec2(260, 100)));
  EXPECT_FALSE(n->hitTest(Vec2(240, 100)));
  EXPECT_FALSE(n->hitTest(Vec2(260, 111)));
  n->setScaleY(-1);  // mirrored nodes still hit where they are drawn
  EXPECT_TRUE(n->hitTest(Vec2(260, 105)));
}

TEST_F(NodeTest, AutoreleasedNodesDieAtFrameEndUnlessSomethingHoldsThem) {
  runScene();
  bool loose = false, added = false, held = false;
  Probe::create("loose", &loose);
  director().getRunningScene()->addChild(Probe::create("added", &added));
  RefPtr<Probe> hold = Probe::create("held", &held);
  EXPECT_FALSE(loose);
  frames(1);
  EXPECT_TRUE(loose);
  EXPECT_FALSE(added);
  EXPECT_FALSE(held);
  hold.reset();
  EXPECT_TRUE(held);
  // Removal releases the parent's reference at once.
  director().getRunningScene()->removeAllChildren();
  EXPECT_TRUE(added);
}

TEST_F(NodeTest, ChildQueriesByTagAndParent) {
  Node* parent = Node::create();
  Node* a = Node::create();
  parent->addChild(a, 0, 123);
  EXPECT_EQ(parent->getChildByTag(123), a);
  EXPECT_EQ(a->getParent(), parent);
  EXPECT_EQ(parent->getChildByTag(7), nullptr);
  parent->removeChildByTag(123);
  EXPECT_EQ(a->getParent(), nullptr) << "still alive in the pool, but detached";
  EXPECT_EQ(parent->getChildrenCount(), 0u);
}

TEST_F(NodeTest, ContainersDefaultToTheVisibleSize) {
  director().initHeadless(Size(800, 500));
  EXPECT_EQ(Scene::create()->getContentSize(), Size(800, 500));
  EXPECT_EQ(Layer::create()->getContentSize(), Size(800, 500));
  EXPECT_EQ(Layer::create()->getAnchorPoint(), Vec2(0, 0));
  LayerColor* c = LayerColor::create(Color4B(26, 26, 26, 166), 30, 40);
  EXPECT_EQ(c->getContentSize(), Size(30, 40));
  EXPECT_EQ(c->getOpacity(), 166);
  EXPECT_EQ(c->getColor(), Color3B(26, 26, 26));
}

}  // namespace
