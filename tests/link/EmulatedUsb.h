// An emulated USB bus for the link's integration tests: umockdev presents the devices in /sys
// and /dev, libusb enumerates and opens them as real ones, and each device's usbfs requests are
// answered in this process by EmulatedAccessory (umockdev's ioctl handler). The test binary
// must run under umockdev-wrapper (it re-executes itself under it when started directly).
//
// What the emulated accessory does, request by request:
//   control transfers   GET_DESCRIPTOR(string): language 0x0409 and the three strings; anything
//                       else stalls (-EPIPE)
//   SETCONFIGURATION, CLAIMINTERFACE, RELEASEINTERFACE, SETINTERFACE: recorded, succeed
//   bulk OUT 0x03       recorded; the responder may turn it into IN data
//   bulk IN 0x84        served from queued IN data, else parked until data arrives or libusb
//                       discards it on its time-out
//   unplug              parked URBs complete with -ESHUTDOWN and every later request fails
//                       with ENODEV (what the kernel does), then a "remove" uevent
//
// The handlers run on umockdev's worker thread; every piece of state is behind one mutex.
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "link/UsbIds.h"

namespace tarvo::test {

using Bytes = std::vector<uint8_t>;

struct EmulatedDeviceIdentity {
  uint16_t idVendor = ACCESSORY_VENDOR_ID;
  uint16_t idProduct = ACCESSORY_PRODUCT_ID;
  std::string manufacturer = "Tarvo Labs";
  std::string product = "RF Analyser";
  std::string serial = "TV0001";
  int port = 0;  // 0: the next free port
};

class EmulatedAccessory {
 public:
  EmulatedAccessory(const EmulatedDeviceIdentity& identity, int devnum, int port);
  ~EmulatedAccessory();
  EmulatedAccessory(const EmulatedAccessory&) = delete;
  EmulatedAccessory& operator=(const EmulatedAccessory&) = delete;

  // OUT bytes -> IN reply (empty: none). Set before the device is plugged or under use.
  void setResponder(std::function<Bytes(const Bytes&)> responder);
  void queueIn(Bytes chunk);

  int opens();  // libusb_open calls (umockdev reports no close; count open fds for that)
  int configuration();                       // last SETCONFIGURATION, -1 none
  std::vector<int> claimed();                // currently claimed interfaces
  std::vector<std::pair<int, int>> altSettings();  // every SETINTERFACE, in order
  std::vector<Bytes> outTransfers();
  int inSubmits();
  std::vector<unsigned long> unknownRequests();

  int devnum() const { return devnum_; }
  int port() const { return port_; }
  const std::string& syspath() const { return syspath_; }
  const std::string& devnode() const { return devnode_; }
  std::string description() const;  // umockdev-record text of the device

 private:
  friend class EmulatedUsbBus;
  static gboolean onIoctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
  static void onConnected(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
  gboolean handle(UMockdevIoctlClient* client);
  void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  bool fillControl(unsigned char* buffer, int length, int* actual);
  void serveParkedLocked();
  void disconnect();  // the kernel's side of an unplug

  EmulatedDeviceIdentity identity_;
  int devnum_;
  int port_;
  std::string syspath_;
  std::string devnode_;
  UMockdevIoctlBase* handler_ = nullptr;
  bool attached_ = false;  // handler attached to the node (bus thread only)

  std::mutex m_;
  bool disconnected_ = false;
  std::function<Bytes(const Bytes&)> responder_;
  std::deque<Bytes> pendingIn_;
  std::deque<UMockdevIoctlData*> parkedIn_;  // one reference each
  std::deque<UMockdevIoctlData*> done_;      // reapable, one reference each
  int opens_ = 0, configuration_ = -1, inSubmits_ = 0;
  std::vector<int> claimed_;
  std::vector<std::pair<int, int>> altSettings_;
  std::vector<Bytes> outTransfers_;
  std::vector<unsigned long> unknown_;
};

class EmulatedUsbBus {
 public:
  EmulatedUsbBus();
  ~EmulatedUsbBus();  // the libusb side (link, transport) must be gone by now
  EmulatedUsbBus(const EmulatedUsbBus&) = delete;
  EmulatedUsbBus& operator=(const EmulatedUsbBus&) = delete;

  // Adds a device (an "add" uevent follows). `configure` runs before it appears.
  EmulatedAccessory& plug(const EmulatedDeviceIdentity& identity = {},
                          const std::function<void(EmulatedAccessory&)>& configure = nullptr);
  // Unplugs it: with `kernelFailsTransfers` the way a real unplug looks (in-flight and later
  // requests fail), otherwise only the uevent and the sysfs entry go away.
  void unplug(EmulatedAccessory& device, bool kernelFailsTransfers = true);
  // Detaches every device's ioctl handler (only once libusb has closed them all).
  void detachAll();

 private:
  UMockdevTestbed* testbed_ = nullptr;
  std::vector<std::unique_ptr<EmulatedAccessory>> devices_;
  int nextDevnum_ = 2;
  int nextPort_ = 1;
};

// Number of open file descriptors of this process (each open emulated device holds one).
int openFileDescriptors();

// True when the umockdev preload library is loaded (umockdev-wrapper sets LD_PRELOAD).
bool underUmockdev();

}  // namespace tarvo::test
