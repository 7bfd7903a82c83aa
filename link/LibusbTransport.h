// LibusbTransport: the link's seam (UsbTransport.h) on libusb-1.0.
//
// The context is created on first use (the first enumerate) and, if libusb_init fails, again on
// the next call. Where libusb supports hotplug notifications (Linux with udev or netlink), an
// arrival/removal callback is registered for all devices; waitForDeviceChange then runs the
// libusb event loop, which sleeps in poll() until an event or the time-out, so an idle link
// costs no CPU. Without hotplug it waits on a condition variable for the time-out.
#pragma once

#include <libusb.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "link/UsbTransport.h"

namespace tarvo {

class LibusbTransport final : public UsbTransport {
 public:
  LibusbTransport() = default;
  ~LibusbTransport() override;  // every device it handed out must be gone by now
  LibusbTransport(const LibusbTransport&) = delete;
  LibusbTransport& operator=(const LibusbTransport&) = delete;

  int enumerate(UsbDeviceList& devices) override;
  void waitForDeviceChange(int timeoutMs) override;
  void wake() override;
  bool hasHotplug() const override { return hotplug_.load(); }

 private:
  libusb_context* context();  // creates it on first use; null while libusb_init fails
  static int LIBUSB_CALL onHotplug(libusb_context* ctx, libusb_device* device,
                                   libusb_hotplug_event event, void* self);

  std::mutex contextMutex_;
  std::atomic<libusb_context*> ctx_{nullptr};
  std::atomic<bool> hotplug_{false};
  libusb_hotplug_callback_handle hotplugHandle_ = 0;

  std::atomic<bool> changed_{false};  // set by the hotplug callback
  std::mutex wakeMutex_;
  std::condition_variable wakeCv_;
  std::atomic<bool> woken_{false};
};

// The process-wide transport the application's link uses (created on first call, never
// destroyed: the link lives until the process ends).
UsbTransport& systemUsbTransport();

}  // namespace tarvo
