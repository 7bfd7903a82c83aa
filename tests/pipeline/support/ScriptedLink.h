// A CommandQueue that records what the controller queues, for tests (thread-safe).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "acquisition/pipeline/CommandQueue.h"

namespace tarvo::testing {

struct QueuedCommand {
  std::vector<uint8_t> bytes;
  int tag = 0;
};

// "discover", "configure", "sweep", "scan", "stop", "power" by the command code in byte 2.
std::string commandName(const std::vector<uint8_t>& command);

class ScriptedLink : public CommandQueue {
 public:
  bool enqueue(std::vector<uint8_t> bytes, int tag) override {
    if (bytes.empty()) return false;
    std::lock_guard lock(mutex_);
    queued_.push_back({std::move(bytes), tag});
    return true;
  }
  // Everything queued since the last call, oldest first.
  std::vector<QueuedCommand> take() {
    std::lock_guard lock(mutex_);
    std::vector<QueuedCommand> out;
    out.swap(queued_);
    return out;
  }
  // The names of take(), space separated.
  std::string takeNames() {
    std::string out;
    for (const auto& c : take()) out += (out.empty() ? "" : " ") + commandName(c.bytes);
    return out;
  }

 private:
  std::mutex mutex_;
  std::vector<QueuedCommand> queued_;
};

inline std::string commandName(const std::vector<uint8_t>& c) {
  if (c.size() < 3 || c[0] != 0xAA) return "?";
  switch (c[2]) {
    case 0x01:
      return "power";
    case 0x02:
      return "configure";
    case 0x03:
      return "discover";
    case 0x05:
      return "sweep";
    case 0x06:
      return "stop";
    case 0x07:
      return "scan";
    default:
      return "?";
  }
}

}  // namespace tarvo::testing
