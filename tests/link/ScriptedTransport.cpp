#include "ScriptedTransport.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace tarvo::test {

class ScriptedUsbDevice final : public UsbDevice {
 public:
  ScriptedUsbDevice(ScriptedTransport& t, std::shared_ptr<ScriptedDeviceState> s)
      : t_(t), s_(std::move(s)), summary_(s_->summary) {
    t_.liveDevices_++;
  }
  ~ScriptedUsbDevice() override {
    close();
    t_.liveDevices_--;
  }
  const UsbDeviceSummary& summary() const override { return summary_; }
  int open() override {
    std::lock_guard<std::mutex> g(t_.mutex_);
    if (open_) return 0;
    if (s_->openResult != 0) return s_->openResult;
    open_ = true;
    s_->opens++;
    return 0;
  }
  void close() override {
    std::lock_guard<std::mutex> g(t_.mutex_);
    if (!open_) return;
    open_ = false;
    s_->closes++;
  }
  bool isOpen() const override { return open_; }
  int stringDescriptorAscii(uint8_t index, unsigned char* out, int capacity) override {
    std::lock_guard<std::mutex> g(t_.mutex_);
    auto it = s_->strings.find(index);
    if (it == s_->strings.end()) return LIBUSB_ERROR_PIPE;
    int n = std::min<int>(capacity, static_cast<int>(it->second.size()));
    std::memcpy(out, it->second.data(), static_cast<size_t>(n));
    return n;
  }
  int setConfiguration(int c) override { return log("config " + std::to_string(c), 0); }
  int claimInterface(int i) override {
    std::lock_guard<std::mutex> g(t_.mutex_);
    s_->calls.push_back("claim " + std::to_string(i));
    return s_->claimResult;
  }
  int releaseInterface(int i) override { return log("release " + std::to_string(i), 0); }
  int setInterfaceAltSetting(int i, int a) override {
    return log("alt " + std::to_string(i) + " " + std::to_string(a), 0);
  }
  int bulkTransfer(uint8_t ep, uint8_t* data, int length, int* transferred,
                   unsigned) override {
    return t_.transfer(*s_, ep, data, length, transferred);
  }

 private:
  int log(std::string what, int result) {
    std::lock_guard<std::mutex> g(t_.mutex_);
    s_->calls.push_back(std::move(what));
    return result;
  }
  ScriptedTransport& t_;
  std::shared_ptr<ScriptedDeviceState> s_;
  UsbDeviceSummary summary_;
  bool open_ = false;
};

std::shared_ptr<ScriptedDeviceState> ScriptedTransport::plug(uint16_t vid, uint16_t pid,
                                                            uint8_t address, uint8_t port) {
  auto d = std::make_shared<ScriptedDeviceState>();
  d->summary.idVendor = vid;
  d->summary.idProduct = pid;
  d->summary.busNumber = 1;
  d->summary.portNumber = port;
  d->summary.address = address;
  d->summary.manufacturerIndex = 1;
  d->summary.productIndex = 2;
  d->summary.serialNumberIndex = 3;
  {
    std::lock_guard<std::mutex> g(mutex_);
    devices_.push_back(d);
    changeFlag_ = true;
  }
  changed_.notify_all();
  return d;
}

void ScriptedTransport::unplug(const std::shared_ptr<ScriptedDeviceState>& d, bool failTransfers) {
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (failTransfers) {
      d->gone = true;  // the transfers notice first; the enumeration still lists it
    } else {
      d->attached = false;
      d->gone = true;
    }
    changeFlag_ = true;
  }
  changed_.notify_all();
}

void ScriptedTransport::queueIn(const std::shared_ptr<ScriptedDeviceState>& d, Bytes chunk) {
  std::lock_guard<std::mutex> g(mutex_);
  d->inChunks.push_back(std::move(chunk));
}

void ScriptedTransport::setContextFails(bool fails) {
  std::lock_guard<std::mutex> g(mutex_);
  contextFails_ = fails;
}

int ScriptedTransport::enumerate(UsbDeviceList& devices) {
  enumerations_++;
  devices.clear();
  std::vector<std::shared_ptr<ScriptedDeviceState>> present;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (contextFails_) return LIBUSB_ERROR_OTHER;
    for (auto& d : devices_) {
      if (d->attached) present.push_back(d);
    }
  }
  for (auto& d : present) devices.push_back(std::make_unique<ScriptedUsbDevice>(*this, d));
  return static_cast<int>(devices.size());
}

void ScriptedTransport::waitForDeviceChange(int timeoutMs) {
  waits_++;
  std::unique_lock<std::mutex> lock(mutex_);
  bool early;
  if (hotplug_) {
    early = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return changeFlag_; });
  } else {
    // Without hotplug only wake() ends the wait early.
    early = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return woken_; });
  }
  if (!early) timedOut_++;
  changeFlag_ = false;
  woken_ = false;
}

void ScriptedTransport::wake() {
  {
    std::lock_guard<std::mutex> g(mutex_);
    changeFlag_ = hotplug_ ? true : changeFlag_;
    woken_ = true;
  }
  changed_.notify_all();
}

int ScriptedTransport::transfer(ScriptedDeviceState& d, uint8_t ep, uint8_t* data, int length,
                                int* transferred) {
  *transferred = 0;
  const bool in = (ep & 0x80) != 0;
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> g(mutex_);
    d.calls.push_back(in ? "R" : "W");
    if (d.gone) return LIBUSB_ERROR_NO_DEVICE;
    if (!in) hook = d.onWrite;
  }
  if (!in) {
    if (hook) hook();  // outside the lock: it may block until the test releases it
    std::lock_guard<std::mutex> g(mutex_);
    int n = std::min(length, d.maxBytesPerWrite);
    int result = 0;
    if (!d.writeResults.empty()) {
      result = d.writeResults.front();
      d.writeResults.pop_front();
    }
    if (result < 0 && result != LIBUSB_ERROR_TIMEOUT) n = 0;
    d.writes.emplace_back(data, data + std::max(n, 0));
    *transferred = std::max(n, 0);
    if (d.responder && n > 0) {
      Bytes reply = d.responder(d.writes.back());
      if (!reply.empty()) d.inChunks.push_back(std::move(reply));
    }
    return result;
  }

  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!d.readResults.empty()) {
      auto [result, bytes] = std::move(d.readResults.front());
      d.readResults.pop_front();
      int n = std::min<int>(length, static_cast<int>(bytes.size()));
      if (n > 0) std::memcpy(data, bytes.data(), static_cast<size_t>(n));
      *transferred = n;
      return result;
    }
    if (!d.inChunks.empty()) {
      Bytes chunk = std::move(d.inChunks.front());
      d.inChunks.pop_front();
      int n = std::min<int>(length, static_cast<int>(chunk.size()));
      if (n > 0) std::memcpy(data, chunk.data(), static_cast<size_t>(n));
      *transferred = n;
      return 0;
    }
  }
  std::this_thread::sleep_for(readTimeout);
  return LIBUSB_ERROR_TIMEOUT;
}

}  // namespace tarvo::test
