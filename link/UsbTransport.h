// The thin seam between the link thread and libusb.
//
// AccessoryCommunication and BrenicAccessoryDevice hold all the link's rules (what to take, how
// to open it, what to send when, how removal is noticed); the seam only forwards the handful of
// libusb calls they make. The production implementation is LibusbTransport; unit tests put a
// scripted transport behind the same interface so the link's logic runs without any USB stack.
//
// Return values are libusb's: 0 or a byte count on success, a negative libusb_error code on
// failure, whichever implementation is behind the seam.
#pragma once

#include <libusb.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace tarvo {

// What the link reads from one enumerated device: the cached device descriptor fields it uses
// and the device's place on the bus.
struct UsbDeviceSummary {
  uint16_t idVendor = 0;
  uint16_t idProduct = 0;
  uint8_t deviceClass = 0;
  uint8_t deviceSubClass = 0;
  uint8_t manufacturerIndex = 0;
  uint8_t productIndex = 0;
  uint8_t serialNumberIndex = 0;
  uint8_t busNumber = 0;
  uint8_t portNumber = 0;
  uint8_t address = 0;
};

// One enumerated USB device. It holds the transport's reference to the device from construction
// to destruction; the destructor closes a handle that is still open. Used by one thread at a time.
class UsbDevice {
 public:
  virtual ~UsbDevice() = default;

  virtual const UsbDeviceSummary& summary() const = 0;

  virtual int open() = 0;   // 0, or a negative error (no handle)
  virtual void close() = 0; // no-op when not open
  virtual bool isOpen() const = 0;

  // ASCII copy of string descriptor `index` into `out` (at most `capacity` bytes, not
  // terminated); returns the length or a negative error.
  virtual int stringDescriptorAscii(uint8_t index, unsigned char* out, int capacity) = 0;
  virtual int setConfiguration(int configuration) = 0;
  virtual int claimInterface(int interfaceNumber) = 0;
  virtual int releaseInterface(int interfaceNumber) = 0;
  virtual int setInterfaceAltSetting(int interfaceNumber, int altSetting) = 0;

  // Synchronous bulk transfer; the direction is in the endpoint address (0x80 = IN).
  // *transferred is set even on failure: a timed-out transfer may still have moved bytes.
  virtual int bulkTransfer(uint8_t endpointAddress, uint8_t* data, int length, int* transferred,
                           unsigned timeoutMs) = 0;
};

using UsbDeviceList = std::vector<std::unique_ptr<UsbDevice>>;

// The USB context: enumeration plus a way to sleep until the set of devices may have changed.
// Devices handed out must be destroyed before the transport.
class UsbTransport {
 public:
  virtual ~UsbTransport() = default;

  // Replaces `devices` with the current devices in enumeration order. Returns the count, or a
  // negative error when there is no context (it is created on first use and retried on the
  // next call after a failure) or the list could not be read.
  virtual int enumerate(UsbDeviceList& devices) = 0;

  // Blocks until a device may have arrived or left (hotplug notification), wake() is called,
  // or `timeoutMs` passes. Without hotplug support it simply waits out the time-out.
  virtual void waitForDeviceChange(int timeoutMs) = 0;

  // Ends a waitForDeviceChange in progress (or the next one) early. Any thread.
  virtual void wake() = 0;

  // True when waitForDeviceChange is woken by arrivals and removals.
  virtual bool hasHotplug() const = 0;
};

}  // namespace tarvo
