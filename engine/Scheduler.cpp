#include "engine/Scheduler.h"

#include <algorithm>

#include "engine/Node.h"

namespace eng {

Scheduler::Scheduler() = default;
Scheduler::~Scheduler() = default;

void Scheduler::scheduleUpdate(Node* target, int priority, bool paused) {
  if (!target) return;
  for (auto* list : {&updates_, &pendingUpdates_})
    for (UpdateEntry& e : *list)
      if (e.target == target && !e.removed) e.removed = true;
  if (paused) paused_.insert(target);
  else paused_.erase(target);
  UpdateEntry e{target, priority, ++orderCounter_};
  if (updating_) {
    pendingUpdates_.push_back(e);
  } else {
    purge();
    auto pos = std::upper_bound(updates_.begin(), updates_.end(), e, [](const UpdateEntry& a, const UpdateEntry& b) {
      return a.priority < b.priority;
    });
    updates_.insert(pos, e);
  }
}

void Scheduler::unscheduleUpdate(Node* target) {
  for (auto* list : {&updates_, &pendingUpdates_})
    for (UpdateEntry& e : *list)
      if (e.target == target) e.removed = true;
  if (!updating_) purge();
}

bool Scheduler::isUpdateScheduled(const Node* target) const {
  for (auto* list : {&updates_, &pendingUpdates_})
    for (const UpdateEntry& e : *list)
      if (e.target == target && !e.removed) return true;
  return false;
}

void Scheduler::schedule(std::function<void(float)> cb, const void* target, float interval, unsigned repeat,
                         float delay, bool paused, const std::string& key) {
  for (auto* list : {&timers_, &pendingTimers_})
    for (auto& t : *list)
      if (!t->removed && t->target == target && t->key == key) {
        // Same key: the timer starts over with the new settings (a restarted one-shot waits its
        // whole delay again).
        t->callback = std::move(cb);
        t->interval = std::max(0.f, interval);
        t->repeat = repeat;
        t->delay = std::max(0.f, delay);
        t->delayDone = t->delay <= 0;
        t->elapsed = 0;
        t->fired = 0;
        return;
      }
  if (target) {
    if (paused) paused_.insert(target);
  }
  auto t = std::make_unique<Timer>();
  t->callback = std::move(cb);
  t->target = target;
  t->key = key;
  t->interval = std::max(0.f, interval);
  t->delay = std::max(0.f, delay);
  t->repeat = repeat;
  t->delayDone = t->delay <= 0;
  (updating_ ? pendingTimers_ : timers_).push_back(std::move(t));
}

void Scheduler::unschedule(const std::string& key, const void* target) {
  for (auto* list : {&timers_, &pendingTimers_})
    for (auto& t : *list)
      if (t->target == target && t->key == key) t->removed = true;
  if (!updating_) purge();
}

bool Scheduler::isScheduled(const std::string& key, const void* target) const {
  for (auto* list : {&timers_, &pendingTimers_})
    for (auto& t : *list)
      if (!t->removed && t->target == target && t->key == key) return true;
  return false;
}

void Scheduler::unscheduleAllForTarget(const void* target) {
  if (!target) return;
  for (auto* list : {&updates_, &pendingUpdates_})
    for (UpdateEntry& e : *list)
      if (e.target == target) e.removed = true;
  for (auto* list : {&timers_, &pendingTimers_})
    for (auto& t : *list)
      if (t->target == target) t->removed = true;
  paused_.erase(target);
  if (!updating_) purge();
}

void Scheduler::unscheduleAll() {
  for (auto* list : {&updates_, &pendingUpdates_})
    for (UpdateEntry& e : *list) e.removed = true;
  for (auto* list : {&timers_, &pendingTimers_})
    for (auto& t : *list) t->removed = true;
  paused_.clear();
  if (!updating_) purge();
}

void Scheduler::pauseTarget(const void* target) { paused_.insert(target); }
void Scheduler::resumeTarget(const void* target) { paused_.erase(target); }
bool Scheduler::isTargetPaused(const void* target) const { return paused_.count(target) != 0; }

void Scheduler::purge() {
  std::erase_if(updates_, [](const UpdateEntry& e) { return e.removed; });
  std::erase_if(timers_, [](const std::unique_ptr<Timer>& t) { return t->removed; });
  for (UpdateEntry& e : pendingUpdates_) {
    if (e.removed) continue;
    auto pos = std::upper_bound(updates_.begin(), updates_.end(), e, [](const UpdateEntry& a, const UpdateEntry& b) {
      return a.priority < b.priority;
    });
    updates_.insert(pos, e);
  }
  pendingUpdates_.clear();
  for (auto& t : pendingTimers_)
    if (!t->removed) timers_.push_back(std::move(t));
  pendingTimers_.clear();
}

void Scheduler::update(float dt) {
  dt *= timeScale_;
  updating_ = true;
  // Index loops: the vectors do not grow while updating_ (additions go to the pending lists).
  for (size_t i = 0; i < updates_.size(); ++i) {
    UpdateEntry& e = updates_[i];
    if (e.removed || paused_.count(e.target)) continue;
    // Held for the call: an update may remove its own node from the scene.
    Node* target = e.target;
    target->retain();
    target->update(dt);
    target->release();
  }
  for (size_t i = 0; i < timers_.size(); ++i) {
    Timer& t = *timers_[i];
    if (t.removed || (t.target && paused_.count(t.target))) continue;
    t.elapsed += dt;
    const float due = t.delayDone ? t.interval : t.delay;
    if (due > 0 && t.elapsed + 1e-6f < due) continue;
    const float passed = t.elapsed;
    t.elapsed = due > 0 ? std::max(0.f, t.elapsed - due) : 0.f;
    t.delayDone = true;
    ++t.fired;
    // A timer fires repeat + 1 times in all.
    if (t.repeat != REPEAT_FOREVER && t.fired > t.repeat) t.removed = true;
    std::function<void(float)> cb = t.callback;  // the callback may replace or remove its own timer
    cb(passed);
  }
  updating_ = false;
  purge();
}

}  // namespace eng
