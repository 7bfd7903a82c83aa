// CommandQueue: where the acquisition controller puts the commands for the accessory.
//
// The USB link implements it (its write queue); tests implement it with a scripted fake. The
// controller hands over a finished command and its tag and never looks at it again: the
// buffer belongs to the queue from then on and is released after sending.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvo {

// Tags the controller puts on the commands it queues.
enum CommandTag : int {
  TAG_DISCOVER = 1,
  TAG_CONFIGURE = 2,
  TAG_DATA_REQUEST = 3,  // sweep, scan, power and stop requests
};

class CommandQueue {
 public:
  virtual ~CommandQueue() = default;
  // Appends one command to the queue; false (and nothing queued) for an empty command.
  // Safe to call from any thread.
  virtual bool enqueue(std::vector<uint8_t> bytes, int tag) = 0;
};

}  // namespace tarvo
