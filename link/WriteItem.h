// One command waiting in the link's write queue.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

namespace tarvo {

// Command tags, as the controller queues them.
enum WriteTag : int32_t {
  WRITE_TAG_DISCOVER = 1,
  WRITE_TAG_CONFIGURE = 2,
  WRITE_TAG_DATA_REQUEST = 3,  // sweep, scan, power or stop request
};

// A command buffer with its length and tag. The item always owns its buffer (the only way in is
// AccessoryCommunication::enqueue, which takes ownership), so the buffer is freed when the item
// is destroyed: after it has been sent, or with the link. Move-only.
struct WriteItem {
  std::unique_ptr<uint8_t[]> data;
  int32_t length = 0;
  int32_t tag = 0;

  WriteItem() = default;
  WriteItem(std::unique_ptr<uint8_t[]> bytes, int32_t len, int32_t t)
      : data(std::move(bytes)), length(len), tag(t) {}
};

}  // namespace tarvo
