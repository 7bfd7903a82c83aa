#include "engine/Actions.h"

#include <algorithm>
#include <cmath>

#include "engine/Node.h"

namespace eng {

namespace {
template <class T>
T* autoreleased(T* p) {
  p->autorelease();
  return p;
}
float lerp(float a, float b, float t) { return a + (b - a) * t; }
}  // namespace

void Action::startWithTarget(Node* target) { target_ = target; }
void Action::stop() { target_ = nullptr; }

void FiniteTimeAction::startWithTarget(Node* target) {
  Action::startWithTarget(target);
  elapsed_ = 0;
  started_ = true;
}

void FiniteTimeAction::step(float dt) {
  elapsed_ += std::max(0.f, dt);
  if (duration_ <= 0) {
    update(1.f);
    return;
  }
  // Snap to the end within a microsecond, so 0.5 s in steps of 0.1 ends on the fifth step.
  if (elapsed_ + 1e-6f >= duration_) elapsed_ = std::max(elapsed_, duration_);
  update(std::min(1.f, elapsed_ / duration_));
}

// --- fades, moves, rotation, scale -----------------------------------------------------------

FadeTo* FadeTo::create(float d, uint8_t o) {
  auto* a = new FadeTo();
  a->duration_ = d;
  a->to_ = o;
  return autoreleased(a);
}
void FadeTo::startWithTarget(Node* t) {
  FiniteTimeAction::startWithTarget(t);
  from_ = t ? t->getOpacity() : 0;
}
void FadeTo::update(float t) {
  if (target_) target_->setOpacity(static_cast<uint8_t>(std::lround(lerp(from_, to_, t))));
}
FadeIn* FadeIn::create(float d) {
  auto* a = new FadeIn();
  a->duration_ = d;
  a->to_ = 255;
  return autoreleased(a);
}
FadeOut* FadeOut::create(float d) {
  auto* a = new FadeOut();
  a->duration_ = d;
  a->to_ = 0;
  return autoreleased(a);
}

MoveTo* MoveTo::create(float d, const Vec2& p) {
  auto* a = new MoveTo();
  a->duration_ = d;
  a->to_ = p;
  return autoreleased(a);
}
void MoveTo::startWithTarget(Node* t) {
  FiniteTimeAction::startWithTarget(t);
  if (t) from_ = t->getPosition();
}
void MoveTo::update(float t) {
  if (target_) target_->setPosition(Vec2(lerp(from_.x, to_.x, t), lerp(from_.y, to_.y, t)));
}

MoveBy* MoveBy::create(float d, const Vec2& delta) {
  auto* a = new MoveBy();
  a->duration_ = d;
  a->delta_ = delta;
  return autoreleased(a);
}
void MoveBy::startWithTarget(Node* t) {
  FiniteTimeAction::startWithTarget(t);
  if (t) from_ = t->getPosition();
}
void MoveBy::update(float t) {
  if (target_) target_->setPosition(from_ + delta_ * t);
}

RotateBy* RotateBy::create(float d, float deg) {
  auto* a = new RotateBy();
  a->duration_ = d;
  a->delta_ = deg;
  return autoreleased(a);
}
void RotateBy::startWithTarget(Node* t) {
  FiniteTimeAction::startWithTarget(t);
  // Keep the angle bounded under RepeatForever: a full turn changes nothing on screen.
  if (t) from_ = std::fmod(t->getRotation(), 360.f);
}
void RotateBy::update(float t) {
  if (target_) target_->setRotation(from_ + delta_ * t);
}

ScaleTo* ScaleTo::create(float d, float s) {
  auto* a = new ScaleTo();
  a->duration_ = d;
  a->to_ = s;
  return autoreleased(a);
}
void ScaleTo::startWithTarget(Node* t) {
  FiniteTimeAction::startWithTarget(t);
  if (t) { fromX_ = t->getScaleX(); fromY_ = t->getScaleY(); }
}
void ScaleTo::update(float t) {
  if (target_) target_->setScale(lerp(fromX_, to_, t), lerp(fromY_, to_, t));
}

DelayTime* DelayTime::create(float d) {
  auto* a = new DelayTime();
  a->duration_ = d;
  return autoreleased(a);
}

CallFunc* CallFunc::create(std::function<void()> fn) {
  auto* a = new CallFunc();
  a->fn_ = std::move(fn);
  return autoreleased(a);
}
void CallFunc::startWithTarget(Node* t) {
  FiniteTimeAction::startWithTarget(t);
  called_ = false;
}
void CallFunc::update(float) {
  if (called_) return;
  called_ = true;
  if (fn_) {
    auto fn = fn_;  // the call may destroy this action (e.g. by stopping all actions)
    fn();
  }
}

// --- Sequence --------------------------------------------------------------------------------

Sequence* Sequence::create(std::initializer_list<FiniteTimeAction*> list) {
  return create(std::vector<FiniteTimeAction*>(list));
}
Sequence* Sequence::create(const std::vector<FiniteTimeAction*>& list) {
  auto* s = new Sequence();
  for (FiniteTimeAction* a : list)
    if (a) {
      s->actions_.emplace_back(a);
      s->duration_ += a->getDuration();
    }
  return autoreleased(s);
}

void Sequence::startWithTarget(Node* t) {
  FiniteTimeAction::startWithTarget(t);
  current_ = 0;
  if (!actions_.empty()) actions_[0]->startWithTarget(t);
}

void Sequence::stop() {
  if (current_ < actions_.size()) actions_[current_]->stop();
  FiniteTimeAction::stop();
}

void Sequence::step(float dt) {
  RefPtr<Sequence> keep(this);  // a CallFunc inside may stop the sequence
  float left = std::max(0.f, dt);
  elapsed_ = std::min(duration_, elapsed_ + left);
  while (current_ < actions_.size()) {
    FiniteTimeAction& a = *actions_[current_];
    const float before = a.getElapsed();
    a.step(left);
    if (!target_) return;  // stopped from inside
    if (!a.isDone()) return;
    // Hand the part of dt the finished action did not need to the next one.
    left = std::max(0.f, left - std::max(0.f, a.getDuration() - before));
    a.stop();
    ++current_;
    if (current_ < actions_.size()) actions_[current_]->startWithTarget(target_);
  }
}

// --- RepeatForever ---------------------------------------------------------------------------

RepeatForever* RepeatForever::create(FiniteTimeAction* a) {
  auto* r = new RepeatForever();
  r->inner_ = a;
  return autoreleased(r);
}
void RepeatForever::startWithTarget(Node* t) {
  Action::startWithTarget(t);
  if (inner_) inner_->startWithTarget(t);
}
void RepeatForever::stop() {
  if (inner_) inner_->stop();
  Action::stop();
}
void RepeatForever::step(float dt) {
  if (!inner_ || !target_) return;
  float left = std::max(0.f, dt);
  // Bounded: a zero-length inner action runs once per frame.
  for (int guard = 0; guard < 1000; ++guard) {
    const float before = inner_->getElapsed();
    inner_->step(left);
    if (!target_ || !inner_->isDone()) return;
    left = std::max(0.f, left - std::max(0.f, inner_->getDuration() - before));
    inner_->startWithTarget(target_);
    if (left <= 0 || inner_->getDuration() <= 0) return;
  }
}

// --- ActionManager ---------------------------------------------------------------------------

ActionManager::ActionManager() = default;
ActionManager::~ActionManager() = default;

ActionManager::Entry* ActionManager::find(const Node* t) {
  for (auto& e : entries_)
    if (e->target == t) return e.get();
  return nullptr;
}
const ActionManager::Entry* ActionManager::find(const Node* t) const {
  for (auto& e : entries_)
    if (e->target == t) return e.get();
  return nullptr;
}

void ActionManager::addAction(Action* action, Node* target, bool paused) {
  if (!action || !target) return;
  Entry* e = find(target);
  if (!e) {
    entries_.push_back(std::make_unique<Entry>());
    e = entries_.back().get();
    e->target = target;
    e->paused = paused;
  }
  e->actions.emplace_back(action);
  action->startWithTarget(target);
}

void ActionManager::removeAction(Action* action) {
  if (!action) return;
  for (auto& e : entries_) {
    auto it = std::find(e->actions.begin(), e->actions.end(), action);
    if (it != e->actions.end()) {
      RefPtr<Action> keep = *it;
      e->actions.erase(it);
      keep->stop();
      return;
    }
  }
}

void ActionManager::removeActionByTag(int tag, const Node* target) {
  if (Entry* e = find(target))
    for (auto it = e->actions.begin(); it != e->actions.end(); ++it)
      if ((*it)->getTag() == tag) {
        RefPtr<Action> keep = *it;
        e->actions.erase(it);
        keep->stop();
        return;
      }
}

void ActionManager::removeAllActionsFromTarget(const Node* target) {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i]->target == target) {
      std::vector<RefPtr<Action>> gone;
      gone.swap(entries_[i]->actions);
      entries_.erase(entries_.begin() + long(i));
      for (auto& a : gone) a->stop();
      return;
    }
}

void ActionManager::removeAllActions() {
  auto gone = std::move(entries_);
  entries_.clear();
  for (auto& e : gone)
    for (auto& a : e->actions) a->stop();
}

Action* ActionManager::getActionByTag(int tag, const Node* target) const {
  if (const Entry* e = find(target))
    for (auto& a : e->actions)
      if (a->getTag() == tag) return a.get();
  return nullptr;
}

int ActionManager::getNumberOfRunningActionsInTarget(const Node* target) const {
  const Entry* e = find(target);
  return e ? int(e->actions.size()) : 0;
}

void ActionManager::pauseTarget(const Node* t) {
  if (Entry* e = find(t)) e->paused = true;
}
void ActionManager::resumeTarget(const Node* t) {
  if (Entry* e = find(t)) e->paused = false;
}

void ActionManager::update(float dt) {
  std::vector<Node*> targets;
  targets.reserve(entries_.size());
  for (auto& e : entries_)
    if (!e->paused) targets.push_back(e->target);
  for (Node* target : targets) {
    Entry* e = find(target);
    if (!e || e->paused) continue;
    target->retain();  // an action may remove the target from its parent
    const std::vector<RefPtr<Action>> actions = e->actions;
    for (const RefPtr<Action>& a : actions) {
      e = find(target);
      if (!e || std::find(e->actions.begin(), e->actions.end(), a) == e->actions.end()) continue;
      a->step(dt);
      if (!a->isDone()) continue;
      e = find(target);
      if (!e) continue;
      auto it = std::find(e->actions.begin(), e->actions.end(), a);
      if (it != e->actions.end()) {
        e->actions.erase(it);
        a->stop();
      }
    }
    target->release();
  }
  std::erase_if(entries_, [](const std::unique_ptr<Entry>& e) { return e->actions.empty(); });
}

}  // namespace eng
