// A UsbTransport for the link's unit tests: devices are plain records the test plugs and
// unplugs, transfers are served from per-device scripts, and every call is logged.
//
// Thread use: the link thread calls the UsbTransport/UsbDevice side; the test thread plugs,
// unplugs, queues IN data and reads the logs. One mutex covers all of it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/UsbTransport.h"

namespace tarvo::test {

using Bytes = std::vector<uint8_t>;

struct ScriptedDeviceState {
  UsbDeviceSummary summary;
  bool attached = true;
  bool gone = false;  // transfers fail with LIBUSB_ERROR_NO_DEVICE (unplugged under our feet)

  // Scripted results.
  int openResult = 0;
  int claimResult = 0;
  std::map<uint8_t, std::string> strings;  // index -> text; a missing index fails with PIPE
  int maxBytesPerWrite = 1 << 30;          // a transfer moves at most this many bytes
  std::deque<int> writeResults;            // per transfer; empty = success
  std::deque<Bytes> inChunks;              // served one per read
  std::deque<std::pair<int, Bytes>> readResults;  // overrides: (result, bytes) per read
  std::function<void()> onWrite;           // runs inside the OUT transfer (blocking tests)
  std::function<Bytes(const Bytes&)> responder;  // OUT bytes -> IN reply

  // Observations.
  int opens = 0;
  int closes = 0;
  std::vector<std::string> calls;  // "config 1", "claim 1", "alt 1 1", "release 1", "W", "R"
  std::vector<Bytes> writes;       // every OUT transfer's bytes
};

class ScriptedTransport final : public UsbTransport {
 public:
  explicit ScriptedTransport(bool hotplug = true) : hotplug_(hotplug) {}

  // Plugs a device; the state stays valid for the transport's life.
  std::shared_ptr<ScriptedDeviceState> plug(uint16_t vid, uint16_t pid, uint8_t address,
                                           uint8_t port = 1);
  // Unplugs it: it leaves the enumeration and its transfers fail with NO_DEVICE. With
  // `failTransfers` only the transfers fail and it stays listed (the enumeration has not caught
  // up yet); a second unplug() then takes it off the list.
  void unplug(const std::shared_ptr<ScriptedDeviceState>& d, bool failTransfers = false);
  void queueIn(const std::shared_ptr<ScriptedDeviceState>& d, Bytes chunk);
  void setContextFails(bool fails);

  // Runs `f` with the transport locked (to read or change a device's state).
  template <class F>
  auto locked(F&& f) {
    std::lock_guard<std::mutex> g(mutex_);
    return f();
  }

  int enumerations() const { return enumerations_.load(); }
  int liveDevices() const { return liveDevices_.load(); }
  int waits() const { return waits_.load(); }
  int waitsTimedOut() const { return timedOut_.load(); }  // waits that ran their full time

  // How long a read with nothing to deliver blocks before it times out.
  std::chrono::milliseconds readTimeout{3};

  int enumerate(UsbDeviceList& devices) override;
  void waitForDeviceChange(int timeoutMs) override;
  void wake() override;
  bool hasHotplug() const override { return hotplug_; }

 private:
  friend class ScriptedUsbDevice;
  int transfer(ScriptedDeviceState& d, uint8_t endpoint, uint8_t* data, int length,
               int* transferred);

  const bool hotplug_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool changeFlag_ = false;
  bool woken_ = false;
  bool contextFails_ = false;
  std::vector<std::shared_ptr<ScriptedDeviceState>> devices_;
  std::atomic<int> enumerations_{0};
  std::atomic<int> liveDevices_{0};
  std::atomic<int> waits_{0};
  std::atomic<int> timedOut_{0};
};

}  // namespace tarvo::test
