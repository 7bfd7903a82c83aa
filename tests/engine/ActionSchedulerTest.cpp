// Actions and the scheduler on a deterministic frame step.
#include <string>
#include <vector>

#include "EngineFixture.h"

using namespace eng;
using enginetest::HeadlessTest;

namespace {

class ActionTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    scene = runScene();
    node = Node::create();
    scene->addChild(node);
  }
  Scene* scene = nullptr;
  Node* node = nullptr;
};

TEST_F(ActionTest, FadeReachesItsTargetOnTheFrameItsDurationEnds) {
  node->setOpacity(0);
  node->runAction(FadeTo::create(0.5f, 217));
  std::vector<int> seen;
  for (int i = 0; i < 6; ++i) {
    director().stepFrame(0.1f);
    seen.push_back(node->getOpacity());
  }
  EXPECT_EQ(seen, (std::vector<int>{43, 87, 130, 174, 217, 217}));
  EXPECT_EQ(node->getNumberOfRunningActions(), 0) << "done after five frames of 0.1 s";
}

TEST_F(ActionTest, CallFuncRunsOnTheFrameTheTimedActionsBeforeItEnd) {
  int calledOnFrame = -1;
  int frame = 0;
  node->runAction(Sequence::create({FadeOut::create(0.5f), CallFunc::create([&] { calledOnFrame = frame; })}));
  for (frame = 1; frame <= 8; ++frame) {
    director().stepFrame(0.1f);
    if (frame < 5) {
      EXPECT_EQ(calledOnFrame, -1);
    }
  }
  EXPECT_EQ(calledOnFrame, 5);
  EXPECT_EQ(node->getOpacity(), 0);
}

TEST_F(ActionTest, SequenceCarriesLeftOverTimeIntoTheNextAction) {
  node->setPosition(0, 0);
  node->runAction(Sequence::create({DelayTime::create(0.1f), MoveTo::create(0.2f, Vec2(100, 0))}));
  director().stepFrame(0.2f);  // 0.1 s of delay, 0.1 s of the move
  EXPECT_NEAR(node->getPositionX(), 50, 1e-3);
  director().stepFrame(0.1f);
  EXPECT_NEAR(node->getPositionX(), 100, 1e-3);
  EXPECT_EQ(node->getNumberOfRunningActions(), 0);
}

TEST_F(ActionTest, RepeatForeverRotationKeepsTheRate) {
  node->runAction(RepeatForever::create(RotateBy::create(1.5f, 360)));
  // 3.75 s = two and a half turns.
  for (int i = 0; i < 375; ++i) director().stepFrame(0.01f);
  const float angle = std::fmod(node->getRotation(), 360.f);
  EXPECT_NEAR(angle, 180.f, 0.5f);
  EXPECT_EQ(node->getNumberOfRunningActions(), 1);
}

TEST_F(ActionTest, CallFuncMayRemoveItsOwnNodeAndStopEverything) {
  bool after = false;
  RefPtr<Node> watch = node;
  node->runAction(Sequence::create({CallFunc::create([&] { node->removeFromParentAndCleanup(true); }),
                                    CallFunc::create([&] { after = true; })}));
  node->runAction(FadeOut::create(1.f));
  director().stepFrame(0.1f);
  EXPECT_EQ(watch->getParent(), nullptr);
  EXPECT_FALSE(after) << "clean-up stopped the rest of the sequence";
  EXPECT_EQ(watch->getNumberOfRunningActions(), 0);
}

TEST_F(ActionTest, ActionsOnANodeOutsideTheSceneWaitUntilItEnters) {
  RefPtr<Node> loose = Node::create();  // survives the frame's pool drain
  loose->setOpacity(0);
  loose->runAction(FadeIn::create(0.2f));
  director().stepFrame(0.1f);
  EXPECT_EQ(loose->getOpacity(), 0);
  scene->addChild(loose.get());
  director().stepFrame(0.1f);
  EXPECT_EQ(loose->getOpacity(), 128);
}

// --- scheduler -------------------------------------------------------------------------------

class Recorder : public Node {
 public:
  static Recorder* create(std::vector<std::string>* log, const std::string& name) {
    auto* r = new Recorder();
    r->log_ = log;
    r->setName(name);
    r->autorelease();
    return r;
  }
  void update(float) override { log_->push_back(getName()); }

 private:
  std::vector<std::string>* log_ = nullptr;
};

TEST_F(ActionTest, UpdatesRunByPriorityThenSchedulingOrder) {
  std::vector<std::string> log;
  RefPtr<Recorder> late = Recorder::create(&log, "late");  // held by its owner, like the screen log
  Recorder* a = Recorder::create(&log, "a");
  Recorder* b = Recorder::create(&log, "b");
  Recorder* early = Recorder::create(&log, "early");
  for (Node* n : {static_cast<Node*>(a), static_cast<Node*>(b), static_cast<Node*>(early)}) scene->addChild(n);
  // Not in the scene: a scheduler-level update at 10000 still runs, after every node.
  director().getScheduler()->scheduleUpdate(late.get(), 10000, false);
  b->scheduleUpdate();
  a->scheduleUpdate();
  early->scheduleUpdateWithPriority(-5);
  director().stepFrame(0.016f);
  EXPECT_EQ(log, (std::vector<std::string>{"early", "b", "a", "late"}));
  director().getScheduler()->unscheduleUpdate(late.get());
}

TEST_F(ActionTest, OneShotTimerFiresOnceAfterItsDelayAndCanBeCancelled) {
  int fired = 0, cancelledFired = 0;
  node->scheduleOnce([&](float) { ++fired; }, 1.0f, "longPress");
  node->scheduleOnce([&](float) { ++cancelledFired; }, 1.0f, "cancelled");
  for (int i = 0; i < 9; ++i) director().stepFrame(0.1f);
  EXPECT_EQ(fired, 0);
  node->unschedule("cancelled");
  director().stepFrame(0.1f);
  EXPECT_EQ(fired, 1);
  for (int i = 0; i < 20; ++i) director().stepFrame(0.1f);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(cancelledFired, 0);
  EXPECT_FALSE(node->isScheduled("longPress"));
}

TEST_F(ActionTest, RepeatingTimerKeepsItsIntervalAndItsRepeatCount) {
  std::vector<int> frames;
  int frame = 0;
  node->schedule([&](float) { frames.push_back(frame); }, 0.3f, 2, 0.f, "tick");  // three firings
  for (frame = 1; frame <= 20; ++frame) director().stepFrame(0.1f);
  EXPECT_EQ(frames, (std::vector<int>{3, 6, 9}));
}

TEST_F(ActionTest, TimersMayUnscheduleThemselvesAndOthers) {
  int a = 0, b = 0;
  node->schedule([&](float) { ++a; node->unschedule("a"); node->unschedule("b"); }, 0.f, "a");
  node->schedule([&](float) { ++b; }, 0.f, "b");
  frames(3);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 0) << "removed in the same pass before it ran";
}

}  // namespace

namespace {

TEST_F(ActionTest, RescheduledOneShotWaitsItsWholeDelayAgain) {
  int fired = 0;
  node->scheduleOnce([&](float) { ++fired; }, 1.0f, "longPress");
  for (int i = 0; i < 8; ++i) director().stepFrame(0.1f);
  node->scheduleOnce([&](float) { ++fired; }, 1.0f, "longPress");  // a new press
  for (int i = 0; i < 8; ++i) director().stepFrame(0.1f);
  EXPECT_EQ(fired, 0);
  for (int i = 0; i < 3; ++i) director().stepFrame(0.1f);
  EXPECT_EQ(fired, 1);
}

TEST_F(ActionTest, RepeatedSequenceKeepsItsPeriod) {
  int calls = 0;
  node->runAction(RepeatForever::create(Sequence::create({DelayTime::create(0.25f), CallFunc::create([&] { ++calls; })})));
  for (int i = 0; i < 100; ++i) director().stepFrame(0.1f);  // 10 s
  EXPECT_EQ(calls, 40);
}

}  // namespace

namespace {

class SelfRemover : public Node {
 public:
  static SelfRemover* create(bool* destroyed) {
    auto* n = new SelfRemover();
    n->destroyed_ = destroyed;
    n->autorelease();
    return n;
  }
  void update(float) override {
    removeFromParentAndCleanup(true);
    ranAfterRemoval = getParent() == nullptr;  // still a valid object here
  }
  bool ranAfterRemoval = false;

 protected:
  ~SelfRemover() override { *destroyed_ = true; }

 private:
  bool* destroyed_ = nullptr;
};

TEST_F(ActionTest, ANodeMayRemoveItselfFromItsOwnUpdate) {
  bool destroyed = false;
  SelfRemover* n = SelfRemover::create(&destroyed);
  scene->addChild(n);
  director().stepFrame(0.1f);  // the pool lets go: the parent holds the only reference
  n->scheduleUpdate();
  director().stepFrame(0.1f);  // removal drops that reference while update() still runs
  EXPECT_TRUE(destroyed);
  director().stepFrame(0.1f);
}

}  // namespace
