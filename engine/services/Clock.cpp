#include "engine/services/Clock.h"

#include <chrono>

namespace eng {

namespace {
class SystemClock : public Clock {
 public:
  int64_t nowMs() const override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  }
};
}  // namespace

Clock& systemClock() {
  static SystemClock clock;
  return clock;
}

}  // namespace eng
