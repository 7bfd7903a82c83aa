// AccessoryCommunication: the USB side of the system.
//
// One thread of its own finds the accessory, opens it, and then alternates between sending one
// queued command and reading one bulk transfer, handing every received chunk to the data
// callback. It knows nothing of the protocol; the packet handler and the controller give the
// bytes their meaning and fill the write queue.
//
// One pass of the link thread (after each pass it sleeps 1 ms):
//   1. Stop requested: report the current device removed (reason 0), close it, end the thread.
//   2. Enumerate. One line per device goes to standard output,
//        "Bus: 1 Address: 5 Vid: 14973 Pid : 7 Class : 0 Subclass : 0Serial : 3"
//      each time the set of enumerated devices differs from the previous pass (printing it on
//      every pass would flood the terminal ten times a second while an accessory streams).
//   3. No current device and not paused: offer the devices to shouldConnect in enumeration
//      order; the first accepted is opened. Success -> deviceAdded, failure -> openFailed.
//   4. Current device: unless paused, look for it again in the enumeration (same ids, bus, port
//      and address). Present: send the oldest queued command (the item is taken out under the
//      queue mutex and written outside it), then one read of up to 2048 bytes with a 100 ms
//      time-out; bytes that arrived go to dataReceived. Gone, paused, a transfer reporting
//      LIBUSB_ERROR_NO_DEVICE, or no devices at all: deviceRemoved (reason 0), close, forget.
//
// Without a device the thread does not spin: a pass that ends with no device open is followed
// by waitForDeviceChange on the transport, which returns on a hotplug arrival or removal, on
// setPaused/stop, or after IDLE_RECHECK_MS (HOTPLUG) / IDLE_POLL_MS (no hotplug support). The
// time-out also paces the retries of a device that could not be opened and re-evaluates the
// filter, whose answer can change without any USB event (connections blocked in the model).
//
// Threads: all USB I/O and every callback run on the link thread. enqueue() is called from the
// controller and main threads; setPaused() from the main thread. The callbacks are set once,
// before start().
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "link/BrenicAccessoryDevice.h"
#include "link/UsbTransport.h"
#include "link/WriteItem.h"

namespace tarvo {

class AccessoryCommunication {
 public:
  using ShouldConnect = std::function<bool(AccessoryCommunication*, BrenicAccessoryDevice*)>;
  using DeviceAdded = std::function<void(AccessoryCommunication*, BrenicAccessoryDevice*)>;
  using OpenFailed = std::function<void(AccessoryCommunication*, BrenicAccessoryDevice*, int error)>;
  using DeviceRemoved =
      std::function<void(AccessoryCommunication*, BrenicAccessoryDevice*, int reason)>;
  using DataReceived = std::function<void(AccessoryCommunication*, BrenicAccessoryDevice*,
                                          const uint8_t* bytes, int count)>;
  using WriteCompleted =
      std::function<void(AccessoryCommunication*, BrenicAccessoryDevice*, int tag, int result)>;

  static constexpr int READ_CHUNK_BYTES = 2048;
  static constexpr int PASS_SLEEP_MS = 1;
  static constexpr int IDLE_RECHECK_MS = 500;  // with hotplug notifications
  static constexpr int IDLE_POLL_MS = 100;     // without them: how fast a new device is found
  static constexpr std::chrono::milliseconds LOST_DEVICE_HOLD{2000};

  // The transport must outlive the link. The default is the process-wide libusb transport.
  AccessoryCommunication();
  explicit AccessoryCommunication(UsbTransport& transport);
  ~AccessoryCommunication();  // stop(): reports and closes an open device, joins the thread
  AccessoryCommunication(const AccessoryCommunication&) = delete;
  AccessoryCommunication& operator=(const AccessoryCommunication&) = delete;

  // A missing shouldConnect means no device is ever taken. Call before start().
  void setConnectionCallbacks(ShouldConnect shouldConnect, DeviceAdded deviceAdded,
                              OpenFailed openFailed, DeviceRemoved deviceRemoved);
  void setDataCallbacks(DataReceived dataReceived, WriteCompleted writeCompleted);

  // Where the diagnostic lines go (standard output and standard error by default). Call before
  // start(); the streams must outlive the thread.
  void setDiagnosticStreams(FILE* out, FILE* err);

  // Starts the link thread unless it runs. False when the thread could not be created.
  bool start();
  // Asks the thread to end, wakes it and joins it. The application never calls this (the link
  // lives until the process ends); tests and tools do.
  void stop();
  bool running() const { return running_.load(); }

  // Queues a command. False, and the buffer stays with the caller, when `data` is empty or
  // `length` <= 0; otherwise the link takes the buffer and frees it after sending. Commands
  // queued while no device is open wait for the next device that opens.
  bool enqueue(std::unique_ptr<uint8_t[]>&& data, int32_t length, int32_t tag);

  // The application went to the background (true) or came back (false). While paused the
  // device is released and none is taken.
  void setPaused(bool paused);
  bool paused() const { return paused_.load(); }

  // Number of commands waiting (for diagnostics and tests).
  size_t queuedCount();

 private:
  void threadMain();
  // Returns true when the pass ended without an open device (the thread then idles).
  bool runPass();
  using DeviceWrappers = std::vector<std::unique_ptr<BrenicAccessoryDevice>>;
  void printEnumeration(const DeviceWrappers& devices);
  void takeDevice(DeviceWrappers& devices);
  void markLost();
  bool serviceDevice();  // false when the device turned out to be gone
  void dropCurrentDevice(bool deviceGone);
  void reportOpenFailure(const BrenicAccessoryDevice& device, int error);

  UsbTransport& transport_;
  FILE* out_ = stdout;
  FILE* err_ = stderr;

  ShouldConnect shouldConnect_;
  DeviceAdded deviceAdded_;
  OpenFailed openFailed_;
  DeviceRemoved deviceRemoved_;
  DataReceived dataReceived_;
  WriteCompleted writeCompleted_;

  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> paused_{false};

  // Link thread only.
  std::unique_ptr<BrenicAccessoryDevice> currentDevice_;
  std::vector<UsbDeviceSummary> lastPrinted_;
  bool printedOnce_ = false;
  std::vector<uint8_t> readBuffer_;
  // A device that reported LIBUSB_ERROR_NO_DEVICE while the enumeration still listed it (the
  // hotplug notice of an unplug can lag the failing transfer): not offered again until it
  // drops out of the enumeration or LOST_DEVICE_HOLD passes.
  bool haveLostDevice_ = false;
  UsbDeviceSummary lostDevice_{};
  std::chrono::steady_clock::time_point lostSince_{};
  // The last device whose open failure was explained on stderr, so a retry does not repeat it.
  bool haveExplained_ = false;
  UsbDeviceSummary explainedDevice_{};
  int explainedError_ = 0;

  // Guarded by queueMutex_ (taken with try-lock + 100 us sleeps).
  std::mutex queueMutex_;
  std::deque<WriteItem> queue_;
};

}  // namespace tarvo
