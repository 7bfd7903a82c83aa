// Actions: timed changes of a node, run by the ActionManager once per frame before the
// per-frame updates.
//
// An action reads its start state when it is run (Node::runAction), then each frame advances
// by dt; a timed action of duration d is done on the frame its elapsed time reaches d, and its
// last step lands exactly on the end value. Instant actions (CallFunc) run on the first step.
// In a Sequence each action starts when the one before it ends, and left-over time of a frame
// flows into the next one, so a CallFunc after FadeOut(0.5) runs on the frame the fade ends.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "engine/Ref.h"
#include "engine/Types.h"

namespace eng {

class Node;

class Action : public Ref {
 public:
  static constexpr int INVALID_TAG = -1;
  virtual void startWithTarget(Node* target);
  virtual void stop();
  // Advances by dt seconds.
  virtual void step(float dt) = 0;
  virtual bool isDone() const = 0;
  Node* getTarget() const { return target_; }
  void setTag(int t) { tag_ = t; }
  int getTag() const { return tag_; }

 protected:
  Node* target_ = nullptr;
  int tag_ = INVALID_TAG;
};

// An action with a duration (0 for instant ones) whose effect is a function of progress 0..1.
class FiniteTimeAction : public Action {
 public:
  float getDuration() const { return duration_; }
  void startWithTarget(Node* target) override;
  void step(float dt) override;
  bool isDone() const override { return started_ && elapsed_ >= duration_; }
  // Applies the state at progress t (0..1).
  virtual void update(float t) = 0;
  float getElapsed() const { return elapsed_; }

 protected:
  float duration_ = 0;
  float elapsed_ = 0;
  bool started_ = false;
};

class FadeTo : public FiniteTimeAction {
 public:
  static FadeTo* create(float duration, uint8_t opacity);
  void startWithTarget(Node* target) override;
  void update(float t) override;

 protected:
  uint8_t from_ = 0, to_ = 0;
};
class FadeIn : public FadeTo {
 public:
  static FadeIn* create(float duration);
};
class FadeOut : public FadeTo {
 public:
  static FadeOut* create(float duration);
};

class MoveTo : public FiniteTimeAction {
 public:
  static MoveTo* create(float duration, const Vec2& position);
  void startWithTarget(Node* target) override;
  void update(float t) override;

 private:
  Vec2 from_, to_;
};

class MoveBy : public FiniteTimeAction {
 public:
  static MoveBy* create(float duration, const Vec2& delta);
  void startWithTarget(Node* target) override;
  void update(float t) override;

 private:
  Vec2 from_, delta_;
};

class RotateBy : public FiniteTimeAction {
 public:
  static RotateBy* create(float duration, float degreesClockwise);
  void startWithTarget(Node* target) override;
  void update(float t) override;

 private:
  float from_ = 0, delta_ = 0;
};

class ScaleTo : public FiniteTimeAction {
 public:
  static ScaleTo* create(float duration, float scale);
  void startWithTarget(Node* target) override;
  void update(float t) override;

 private:
  float fromX_ = 1, fromY_ = 1, to_ = 1;
};

class DelayTime : public FiniteTimeAction {
 public:
  static DelayTime* create(float duration);
  void update(float) override {}
};

// Runs a callable once.
class CallFunc : public FiniteTimeAction {
 public:
  static CallFunc* create(std::function<void()> fn);
  void startWithTarget(Node* target) override;
  void update(float t) override;

 private:
  std::function<void()> fn_;
  bool called_ = false;
};

// Runs its actions one after another.
class Sequence : public FiniteTimeAction {
 public:
  static Sequence* create(std::initializer_list<FiniteTimeAction*> actions);
  static Sequence* create(const std::vector<FiniteTimeAction*>& actions);
  void startWithTarget(Node* target) override;
  void stop() override;
  void step(float dt) override;
  void update(float) override {}
  bool isDone() const override { return started_ && current_ >= actions_.size(); }

 private:
  std::vector<RefPtr<FiniteTimeAction>> actions_;
  size_t current_ = 0;
};

// Restarts its action whenever it ends; never done.
class RepeatForever : public Action {
 public:
  static RepeatForever* create(FiniteTimeAction* action);
  void startWithTarget(Node* target) override;
  void stop() override;
  void step(float dt) override;
  bool isDone() const override { return false; }

 private:
  RefPtr<FiniteTimeAction> inner_;
};

// Runs the actions of every node. Actions are retained while they run; targets are not (a node
// removes its actions when it is cleaned up or destroyed).
class ActionManager {
 public:
  ActionManager();
  ~ActionManager();
  void addAction(Action* action, Node* target, bool paused);
  void removeAction(Action* action);
  void removeActionByTag(int tag, const Node* target);
  void removeAllActionsFromTarget(const Node* target);
  void removeAllActions();
  Action* getActionByTag(int tag, const Node* target) const;
  int getNumberOfRunningActionsInTarget(const Node* target) const;
  void pauseTarget(const Node* target);
  void resumeTarget(const Node* target);
  void update(float dt);

 private:
  struct Entry {
    Node* target;
    std::vector<RefPtr<Action>> actions;
    bool paused = false;
  };
  Entry* find(const Node* target);
  const Entry* find(const Node* target) const;
  std::vector<std::unique_ptr<Entry>> entries_;
};

}  // namespace eng
