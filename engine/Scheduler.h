// Per-frame updates and timers.
//
// Each frame the director calls `update(dt)`: first the per-frame updates in ascending priority
// (equal priorities in the order they were scheduled; nodes use 0, so an update scheduled at
// 10000 runs after every node), then the timers in the order they were created. Everything is
// keyed by target; a paused target is skipped (nodes pause when they leave the running scene
// and resume when they enter it). Scheduling and unscheduling from inside a callback is safe:
// additions take effect on the next frame, removals at once.
#pragma once

#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace eng {

class Node;

class Scheduler {
 public:
  static constexpr unsigned REPEAT_FOREVER = UINT_MAX - 1;

  Scheduler();
  ~Scheduler();

  // target->update(dt) every frame at `priority`. Re-scheduling changes the priority.
  void scheduleUpdate(Node* target, int priority, bool paused);
  void unscheduleUpdate(Node* target);
  bool isUpdateScheduled(const Node* target) const;

  // Runs `callback(elapsed)` first after `delay` seconds, then every `interval` seconds, `repeat`
  // more times (0 = once, REPEAT_FOREVER). The key names the timer within its target; scheduling
  // an existing key restarts it with the new settings. `target` may be null for global timers
  // (identified by the key alone). An interval of 0 fires every frame.
  void schedule(std::function<void(float)> callback, const void* target, float interval, unsigned repeat,
                float delay, bool paused, const std::string& key);
  void unschedule(const std::string& key, const void* target);
  bool isScheduled(const std::string& key, const void* target) const;
  void unscheduleAllForTarget(const void* target);
  // Drops everything (tests, shutdown).
  void unscheduleAll();

  void pauseTarget(const void* target);
  void resumeTarget(const void* target);
  bool isTargetPaused(const void* target) const;

  // Scales dt for everything driven by this scheduler (1 by default).
  void setTimeScale(float s) { timeScale_ = s; }

  void update(float dt);

 private:
  struct UpdateEntry {
    Node* target;
    int priority;
    unsigned order;
    bool removed = false;
  };
  struct Timer {
    std::function<void(float)> callback;
    const void* target;
    std::string key;
    float interval, delay;
    unsigned repeat;
    float elapsed = 0;
    bool delayDone = false;
    unsigned fired = 0;
    bool removed = false;
  };
  void purge();

  std::vector<UpdateEntry> updates_;
  std::vector<UpdateEntry> pendingUpdates_;
  std::vector<std::unique_ptr<Timer>> timers_;
  std::vector<std::unique_ptr<Timer>> pendingTimers_;
  std::unordered_set<const void*> paused_;
  unsigned orderCounter_ = 0;
  bool updating_ = false;
  float timeScale_ = 1;
};

}  // namespace eng
