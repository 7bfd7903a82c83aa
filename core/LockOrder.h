// Taking the model's data mutexes.
//
// Every lock is taken by a non-blocking attempt repeated after 100-microsecond sleeps, with no
// time-out. A thread that needs several takes them in the fixed order spectrum, access points,
// power, and releases them in reverse. ModelLock is the one place that does this: name the
// subset you need and it takes them in order and releases them when it goes out of scope.
#pragma once

#include <chrono>
#include <mutex>
#include <thread>

namespace tarvo {

// Try-lock + 100 us sleep until the mutex is ours.
template <class Mutex>
void lockPolling(Mutex& m) {
  while (!m.try_lock()) std::this_thread::sleep_for(std::chrono::microseconds(100));
}

enum ModelLockSet : unsigned {
  LOCK_SPECTRUM = 1u << 0,
  LOCK_AP_LIST = 1u << 1,
  LOCK_POWER = 1u << 2,
  LOCK_ALL = LOCK_SPECTRUM | LOCK_AP_LIST | LOCK_POWER,
};

class AnalyzerModel;

class ModelLock {
 public:
  ModelLock(AnalyzerModel& model, unsigned set);
  ~ModelLock();
  ModelLock(const ModelLock&) = delete;
  ModelLock& operator=(const ModelLock&) = delete;

 private:
  AnalyzerModel& model_;
  unsigned set_;
};

}  // namespace tarvo
