// LinkState: the per-link record that the packet handler (link thread), the acquisition
// controller (controller thread) and demo playback share.
//
// Every field here is read or written by more than one thread without a lock, so each one is
// an atomic value changed by one atomic store. The controller moves `state` with a
// compare-and-swap from the state it acted on, so a transition made meanwhile by the handler
// or a menu (an acknowledgement, a stop request) is never overwritten by a stale one.
//
// Controller states:
//   0  start discovery: queue AA 03 03, go to 1
//   1  waiting for the discover response (the handler moves it to 2)
//   2  discover response accepted: request a store reset, go to 3
//   3  configure: queue the configure command, go to 4
//   4  waiting for the acknowledgement; after 50 cycles back to 3
//   5  acknowledged (set by the handler): reset stores if asked, go to 6
//   6  request data (sweeps, scans or power), then 7 (or 6 again for accessories that need
//      every request repeated)
//   7  streaming
//   8  streaming after an empty scan result
//   9  stop: queue the stop command, go to 10 (or straight to 11)
//   10 waiting for the stop acknowledgement (the handler moves it to 11)
//   11 stopped: leave through 3 (full reconfiguration) or 6 when a reconfiguration is pending
#pragma once

#include <atomic>
#include <cstdint>

namespace tarvo {

class CommandQueue;

enum ControllerState : int32_t {
  STATE_START_DISCOVERY = 0,
  STATE_AWAIT_DISCOVER = 1,
  STATE_DISCOVERED = 2,
  STATE_CONFIGURE = 3,
  STATE_AWAIT_ACK = 4,
  STATE_ACKNOWLEDGED = 5,
  STATE_REQUEST_DATA = 6,
  STATE_STREAMING = 7,
  STATE_STREAMING_AFTER_EMPTY_SCAN = 8,
  STATE_STOP = 9,
  STATE_AWAIT_STOP_ACK = 10,
  STATE_STOPPED = 11,
};

// Cycles the controller waits for a configure acknowledgement before sending it again.
constexpr int32_t CONFIGURE_RETRY_CYCLES = 50;

struct LinkState {
  // The link and device of the attached accessory; both null while demo playback runs.
  std::atomic<CommandQueue*> link{nullptr};
  std::atomic<const void*> device{nullptr};

  std::atomic<int32_t> state{STATE_AWAIT_DISCOVER};
  std::atomic<bool> discovered{false};
  // Empty the reassembly buffer before the next chunk is appended.
  std::atomic<bool> discardBuffer{false};

  // --- controller ---
  std::atomic<int32_t> countdown{0};  // cycles left before the configure command goes again
  std::atomic<bool> stopThread{false};
  std::atomic<bool> threadRunning{false};
  std::atomic<bool> primeSweep{false};       // first generation: one sweep request before power
  std::atomic<bool> reconfigure{false};      // leave state 11 when set
  std::atomic<bool> reconfigureFull{false};  // ... through a new configure command
  std::atomic<bool> scanDue{false};          // the next request cycle is an SSID scan
  std::atomic<bool> resetStores{false};      // clear the stores on the next acknowledgement
  std::atomic<int64_t> lastScanCheckMs{0};   // start of the current SSID interval

  // --- packet handler, read by the controller ---
  std::atomic<int64_t> lastTriggerMs{0};  // latest triggered power frame
  std::atomic<uint32_t> scanFrames{0};    // scan-result frames in the current scan cycle
  std::atomic<int64_t> scanStartMs{0};    // first frame of the current scan cycle

  // Moves state from `from` to `to` unless someone else moved it meanwhile.
  bool advance(int32_t from, int32_t to) { return state.compare_exchange_strong(from, to); }
};

}  // namespace tarvo
