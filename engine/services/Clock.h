// Wall clock in milliseconds since 1970, injectable so tests and the headless replay can run on
// virtual time. Acquisition code asks the clock it was given, never the system directly.
#pragma once

#include <atomic>
#include <cstdint>

namespace eng {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t nowMs() const = 0;
};

// The system's wall clock.
Clock& systemClock();

// A clock that only moves when told to (thread-safe).
class ManualClock : public Clock {
 public:
  explicit ManualClock(int64_t startMs = 1'700'000'000'000) : now_(startMs) {}
  int64_t nowMs() const override { return now_.load(std::memory_order_relaxed); }
  void setMs(int64_t ms) { now_.store(ms, std::memory_order_relaxed); }
  void advanceMs(int64_t ms) { now_.fetch_add(ms, std::memory_order_relaxed); }

 private:
  std::atomic<int64_t> now_;
};

}  // namespace eng
