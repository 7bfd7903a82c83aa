#include "link/AccessoryCommunication.h"

#include <system_error>

#include "core/LockOrder.h"
#include "link/LibusbTransport.h"

namespace tarvo {

namespace {

bool sameIdentity(const UsbDeviceSummary& a, const UsbDeviceSummary& b) {
  return a.idVendor == b.idVendor && a.idProduct == b.idProduct && a.busNumber == b.busNumber &&
         a.portNumber == b.portNumber && a.address == b.address;
}

// Everything an enumeration line shows, plus the port, so a re-plug into another socket counts
// as a change.
bool sameListing(const UsbDeviceSummary& a, const UsbDeviceSummary& b) {
  return sameIdentity(a, b) && a.deviceClass == b.deviceClass &&
         a.deviceSubClass == b.deviceSubClass && a.serialNumberIndex == b.serialNumberIndex;
}

}  // namespace

AccessoryCommunication::AccessoryCommunication() : AccessoryCommunication(systemUsbTransport()) {}

AccessoryCommunication::AccessoryCommunication(UsbTransport& transport)
    : transport_(transport), readBuffer_(READ_CHUNK_BYTES) {}

AccessoryCommunication::~AccessoryCommunication() { stop(); }

void AccessoryCommunication::setConnectionCallbacks(ShouldConnect shouldConnect,
                                                    DeviceAdded deviceAdded, OpenFailed openFailed,
                                                    DeviceRemoved deviceRemoved) {
  shouldConnect_ = std::move(shouldConnect);
  deviceAdded_ = std::move(deviceAdded);
  openFailed_ = std::move(openFailed);
  deviceRemoved_ = std::move(deviceRemoved);
}

void AccessoryCommunication::setDataCallbacks(DataReceived dataReceived,
                                              WriteCompleted writeCompleted) {
  dataReceived_ = std::move(dataReceived);
  writeCompleted_ = std::move(writeCompleted);
}

void AccessoryCommunication::setDiagnosticStreams(FILE* out, FILE* err) {
  out_ = out ? out : stdout;
  err_ = err ? err : stderr;
}

bool AccessoryCommunication::start() {
  if (running_.load()) return true;
  if (thread_.joinable()) thread_.join();  // a thread that ended after an earlier stop()
  stopRequested_ = false;
  running_ = true;
  try {
    thread_ = std::thread(&AccessoryCommunication::threadMain, this);
  } catch (const std::system_error&) {
    running_ = false;
    return false;
  }
  return true;
}

void AccessoryCommunication::stop() {
  stopRequested_ = true;
  transport_.wake();
  if (thread_.joinable()) thread_.join();
  running_ = false;
}

bool AccessoryCommunication::enqueue(std::unique_ptr<uint8_t[]>&& data, int32_t length,
                                     int32_t tag) {
  if (!data || length <= 0) return false;
  lockPolling(queueMutex_);
  std::lock_guard<std::mutex> guard(queueMutex_, std::adopt_lock);
  queue_.emplace_back(std::move(data), length, tag);
  return true;
}

size_t AccessoryCommunication::queuedCount() {
  lockPolling(queueMutex_);
  std::lock_guard<std::mutex> guard(queueMutex_, std::adopt_lock);
  return queue_.size();
}

void AccessoryCommunication::setPaused(bool paused) {
  paused_ = paused;
  transport_.wake();  // release the device, or look for one, without waiting out an idle period
}

void AccessoryCommunication::threadMain() {
  for (;;) {
    if (stopRequested_.load()) {
      if (currentDevice_) dropCurrentDevice(false);
      running_ = false;
      return;
    }
    bool idle = runPass();
    if (stopRequested_.load()) continue;
    if (idle) {
      transport_.waitForDeviceChange(transport_.hasHotplug() ? IDLE_RECHECK_MS : IDLE_POLL_MS);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(PASS_SLEEP_MS));
    }
  }
}

bool AccessoryCommunication::runPass() {
  UsbDeviceList usb;
  int count = transport_.enumerate(usb);
  DeviceWrappers devices;
  devices.reserve(usb.size());
  for (auto& d : usb) devices.push_back(std::make_unique<BrenicAccessoryDevice>(std::move(d), out_));
  usb.clear();
  if (count >= 0) printEnumeration(devices);

  if (haveLostDevice_) {
    bool stillListed = false;
    for (const auto& d : devices) stillListed = stillListed || sameIdentity(d->summary(), lostDevice_);
    if (!stillListed || std::chrono::steady_clock::now() - lostSince_ >= LOST_DEVICE_HOLD) {
      haveLostDevice_ = false;
    }
  }

  if (!currentDevice_) {
    if (!paused_.load() && !devices.empty() && shouldConnect_) takeDevice(devices);
    devices.clear();
    return !currentDevice_;
  }

  bool present = false;
  for (const auto& d : devices) {
    if (d->sameDevice(*currentDevice_)) {
      present = true;
      break;
    }
  }
  devices.clear();
  if (!present || !currentDevice_->isOpened()) {
    dropCurrentDevice(true);
    return true;
  }
  if (paused_.load()) {
    dropCurrentDevice(false);
    return true;
  }
  if (serviceDevice()) return false;
  dropCurrentDevice(true);  // a transfer said the device is gone
  return true;
}

void AccessoryCommunication::printEnumeration(const DeviceWrappers& devices) {
  bool changed = !printedOnce_ || devices.size() != lastPrinted_.size();
  for (size_t i = 0; !changed && i < devices.size(); ++i) {
    changed = !sameListing(devices[i]->summary(), lastPrinted_[i]);
  }
  if (!changed) return;
  printedOnce_ = true;
  lastPrinted_.clear();
  for (const auto& d : devices) {
    const UsbDeviceSummary& s = d->summary();
    lastPrinted_.push_back(s);
    std::fprintf(out_, "Bus: %u Address: %u Vid: %u Pid : %u Class : %u Subclass : %uSerial : %u\n",
                 unsigned(s.busNumber), unsigned(s.address), unsigned(s.idVendor),
                 unsigned(s.idProduct), unsigned(s.deviceClass), unsigned(s.deviceSubClass),
                 unsigned(s.serialNumberIndex));
  }
  std::fflush(out_);
}

void AccessoryCommunication::takeDevice(DeviceWrappers& devices) {
  for (auto& candidate : devices) {
    if (haveLostDevice_ && sameIdentity(candidate->summary(), lostDevice_)) continue;
    if (!shouldConnect_(this, candidate.get())) continue;
    currentDevice_ = std::move(candidate);
    int r = currentDevice_->open();
    if (r == 0) {
      haveExplained_ = false;
      if (deviceAdded_) deviceAdded_(this, currentDevice_.get());
    } else {
      reportOpenFailure(*currentDevice_, r);
      if (openFailed_) openFailed_(this, currentDevice_.get(), r);
      currentDevice_.reset();
    }
    return;
  }
}

bool AccessoryCommunication::serviceDevice() {
  BrenicAccessoryDevice* device = currentDevice_.get();

  // Take the oldest command out under the lock and write it outside, so enqueue() from the
  // controller or the main thread never waits for a USB transfer.
  WriteItem item;
  bool haveItem = false;
  {
    lockPolling(queueMutex_);
    std::lock_guard<std::mutex> guard(queueMutex_, std::adopt_lock);
    if (!queue_.empty()) {
      item = std::move(queue_.front());
      queue_.pop_front();
      haveItem = true;
    }
  }
  if (haveItem) {
    int result = device->write(item.data.get(), item.length);
    if (writeCompleted_) writeCompleted_(this, device, item.tag, result);
    item = WriteItem();  // sent or failed: either way the buffer is done with
    if (result == LIBUSB_ERROR_NO_DEVICE) {
      markLost();
      return false;
    }
  }

  int received = 0;
  int r = device->read(readBuffer_.data(), READ_CHUNK_BYTES, &received);
  // Bytes that arrived before a time-out are data too: dropping them would cut a frame.
  if (received > 0 && dataReceived_) dataReceived_(this, device, readBuffer_.data(), received);
  if (r == LIBUSB_ERROR_NO_DEVICE) {
    markLost();
    return false;
  }
  return true;
}

void AccessoryCommunication::markLost() {
  haveLostDevice_ = true;
  lostDevice_ = currentDevice_->summary();
  lostSince_ = std::chrono::steady_clock::now();
}

void AccessoryCommunication::dropCurrentDevice(bool deviceGone) {
  if (deviceRemoved_) deviceRemoved_(this, currentDevice_.get(), 0);
  currentDevice_->close(deviceGone);
  currentDevice_.reset();
}

void AccessoryCommunication::reportOpenFailure(const BrenicAccessoryDevice& device, int error) {
  const UsbDeviceSummary& s = device.summary();
  if (haveExplained_ && explainedError_ == error && sameIdentity(explainedDevice_, s)) return;
  haveExplained_ = true;
  explainedDevice_ = s;
  explainedError_ = error;
  if (error == LIBUSB_ERROR_ACCESS) {
    std::fprintf(err_,
                 "tarvo: no permission to open the accessory on bus %u, address %u "
                 "(LIBUSB_ERROR_ACCESS): install the udev rule 70-tarvo.rules (packaging/udev/) "
                 "into /etc/udev/rules.d/, run 'sudo udevadm control --reload-rules && sudo "
                 "udevadm trigger', then replug the accessory\n",
                 unsigned(s.busNumber), unsigned(s.address));
  } else {
    std::fprintf(err_, "tarvo: cannot open the accessory on bus %u, address %u (%s)\n",
                 unsigned(s.busNumber), unsigned(s.address), libusb_error_name(error));
  }
  std::fflush(err_);
}

}  // namespace tarvo
