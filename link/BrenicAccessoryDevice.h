// BrenicAccessoryDevice: one enumerated USB device as the link sees it, and the accessory's way
// of opening, talking to and closing it.
//
// Opening (open()):
//   libusb_open; the device descriptor's three strings are fetched into 100-byte buffers and
//   printed ("    Serial Number: ...", "    Manufacturer: ...", "    Product: ...", or
//   "    Unable to get ...: <code>"); then configuration 1, interface 1 claimed, alternate
//   setting 1. Returns 0, or the negative libusb code of the step that failed: libusb_open, or
//   claiming the interface (without it no transfer can work, so the device counts as not opened).
// Closing (close()): alternate setting 0, release interface 1, close the handle. For a device
//   that is already gone the alternate-setting request is skipped: it cannot reach the device,
//   and libusb 1.0.26 (Debian 12) unlocks the handle's mutex once too often when it is asked
//   to on a detached device, which makes the following libusb_close abort the process.
//
// The wrapper holds the transport's reference to the device from construction to destruction.
// It is created, used and destroyed on the link thread; the callbacks receive a borrowed pointer
// that is valid until the device-removed (or open-failed) callback returns.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "link/UsbTransport.h"

namespace tarvo {

class BrenicAccessoryDevice {
 public:
  // `out` takes the diagnostic lines (standard output in the application).
  explicit BrenicAccessoryDevice(std::unique_ptr<UsbDevice> usb, FILE* out = stdout);
  ~BrenicAccessoryDevice();
  BrenicAccessoryDevice(const BrenicAccessoryDevice&) = delete;
  BrenicAccessoryDevice& operator=(const BrenicAccessoryDevice&) = delete;

  const UsbDeviceSummary& summary() const { return usb_->summary(); }

  // Same physical device as `other`: same idVendor, idProduct, bus, port and address.
  bool sameDevice(const BrenicAccessoryDevice& other) const;

  // The filter's rule without the model's part: a preapproved device, or the accessory's ids.
  bool matchesAccessory() const;

  int open();
  void close(bool deviceGone = false);
  bool isOpened() const { return opened_; }

  // Sends the whole buffer to the OUT endpoint (1000 ms per transfer), repeating on the
  // remaining bytes until all are sent, a transfer fails or one moves nothing. Returns 0 when
  // everything went out, else the libusb error (LIBUSB_ERROR_IO for a transfer that moved
  // nothing without an error).
  int write(const uint8_t* data, int length);

  // One bulk read of up to `capacity` bytes from the IN endpoint (100 ms). Returns the libusb
  // result; *received holds the bytes that arrived, which may be > 0 even after a time-out.
  int read(uint8_t* buffer, int capacity, int* received);

  int interfaceNumber() const { return interfaceNumber_; }
  uint8_t outEndpoint() const { return outEndpoint_; }
  uint8_t inEndpoint() const { return inEndpoint_; }

  // Makes the filter take the device without looking at its descriptor. Never set by the
  // application; kept for tests and special builds.
  uint8_t preapproved = 0;

  static constexpr unsigned WRITE_TIMEOUT_MS = 1000;
  static constexpr unsigned READ_TIMEOUT_MS = 100;
  static constexpr int STRING_BUFFER_SIZE = 100;

 private:
  void printString(uint8_t index, const char* label, const char* failure);

  std::unique_ptr<UsbDevice> usb_;
  FILE* out_;
  bool opened_ = false;
  int interfaceNumber_ = -1;
  uint8_t outEndpoint_ = 0;
  uint8_t inEndpoint_ = 0;
};

}  // namespace tarvo
