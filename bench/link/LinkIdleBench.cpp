// What the link thread costs while no accessory is attached: CPU time (user + system, from
// getrusage) over a 10 s window, as a share of one core, plus how many passes it made.
//
//   BM_Link_IdleCost/0   the libusb transport as the machine offers it. Run it under
//                        umockdev-wrapper to get an emulated bus with one unrelated device
//                        (hotplug path); without it, whatever this machine has.
//   BM_Link_IdleCost/1   a synthetic bus of 8 unrelated devices without hotplug: the polling
//                        fallback (one enumeration every IDLE_POLL_MS).
//   BM_Link_IdleCost/2   the same bus re-enumerated every 1 ms, as a loop that never idles
//                        would do: the reference the other two are compared with.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "link/AccessoryCommunication.h"
#include "link/LibusbTransport.h"

#ifdef TARVO_BENCH_HAVE_UMOCKDEV
#include <umockdev.h>
#endif

namespace {

using namespace tarvo;

double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

class FixedDevice final : public UsbDevice {
 public:
  explicit FixedDevice(const UsbDeviceSummary& s) : s_(s) {}
  const UsbDeviceSummary& summary() const override { return s_; }
  int open() override { return LIBUSB_ERROR_ACCESS; }
  void close() override {}
  bool isOpen() const override { return false; }
  int stringDescriptorAscii(uint8_t, unsigned char*, int) override { return LIBUSB_ERROR_IO; }
  int setConfiguration(int) override { return 0; }
  int claimInterface(int) override { return 0; }
  int releaseInterface(int) override { return 0; }
  int setInterfaceAltSetting(int, int) override { return 0; }
  int bulkTransfer(uint8_t, uint8_t*, int, int* t, unsigned) override {
    *t = 0;
    return LIBUSB_ERROR_IO;
  }

 private:
  UsbDeviceSummary s_;
};

// Eight devices that are not the accessory; counts enumerations.
class SyntheticBus final : public UsbTransport {
 public:
  explicit SyntheticBus(int waitOverrideMs) : waitOverrideMs_(waitOverrideMs) {}
  int enumerate(UsbDeviceList& devices) override {
    enumerations++;
    devices.clear();
    for (uint8_t i = 0; i < 8; ++i) {
      UsbDeviceSummary s;
      s.idVendor = 0x1d6b;
      s.idProduct = static_cast<uint16_t>(0x100 + i);
      s.busNumber = 1;
      s.portNumber = i;
      s.address = static_cast<uint8_t>(i + 1);
      devices.push_back(std::make_unique<FixedDevice>(s));
    }
    return static_cast<int>(devices.size());
  }
  void waitForDeviceChange(int timeoutMs) override {
    std::unique_lock<std::mutex> lock(m_);
    int ms = waitOverrideMs_ > 0 ? waitOverrideMs_ : timeoutMs;
    cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return woken_; });
    woken_ = false;
  }
  void wake() override {
    {
      std::lock_guard<std::mutex> g(m_);
      woken_ = true;
    }
    cv_.notify_all();
  }
  bool hasHotplug() const override { return false; }

  std::atomic<long> enumerations{0};

 private:
  int waitOverrideMs_;
  std::mutex m_;
  std::condition_variable cv_;
  bool woken_ = false;
};

void runIdle(benchmark::State& state, UsbTransport& transport, const std::atomic<long>* passes) {
  FILE* devnull = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    AccessoryCommunication link(transport);
    link.setDiagnosticStreams(devnull, devnull);
    link.setConnectionCallbacks(
        [](AccessoryCommunication*, BrenicAccessoryDevice* d) { return d->matchesAccessory(); },
        nullptr, nullptr, nullptr);
    link.start();
    std::this_thread::sleep_for(std::chrono::seconds(1));  // settle: context, first passes
    const long passes0 = passes ? passes->load() : 0;
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double cpu = cpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    link.stop();
    state.counters["cpu_pct_of_core"] = 100.0 * cpu / wall;
    state.counters["cpu_ms"] = cpu * 1000.0;
    if (passes) state.counters["passes"] = double(passes->load() - passes0);
  }
  std::fclose(devnull);
}

void BM_Link_IdleCost(benchmark::State& state) {
  switch (state.range(0)) {
    case 0: {
#ifdef TARVO_BENCH_HAVE_UMOCKDEV
      const char* preload = std::getenv("LD_PRELOAD");
      UMockdevTestbed* testbed = nullptr;
      if (preload && std::strstr(preload, "libumockdev-preload")) {
        testbed = umockdev_testbed_new();
        umockdev_testbed_add_from_string(
            testbed,
            "P: /devices/pci0000:00/0000:00:14.0/usb1/1-4\n"
            "N: bus/usb/001/009\n"
            "E: DEVNAME=/dev/bus/usb/001/009\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
            "E: BUSNUM=001\nE: DEVNUM=009\nE: SUBSYSTEM=usb\n"
            "A: bConfigurationValue=1\nA: busnum=1\nA: devnum=9\nA: speed=480\n"
            "H: descriptors=12010002000000403412785600010102030109021200010100803209040000"
            "00ff000000\n",
            nullptr);
        state.SetLabel("libusb, emulated bus (umockdev)");
      } else {
        state.SetLabel("libusb, this machine's bus");
      }
#else
      state.SetLabel("libusb, this machine's bus");
#endif
      {
        LibusbTransport transport;
        runIdle(state, transport, nullptr);
        state.counters["hotplug"] = transport.hasHotplug() ? 1 : 0;
      }
#ifdef TARVO_BENCH_HAVE_UMOCKDEV
      if (testbed) g_object_unref(testbed);
#endif
      break;
    }
    case 1: {
      SyntheticBus bus(0);
      state.SetLabel("8 devices, polling fallback");
      runIdle(state, bus, &bus.enumerations);
      break;
    }
    default: {
      SyntheticBus bus(1);
      state.SetLabel("8 devices, re-enumerated every 1 ms (reference)");
      runIdle(state, bus, &bus.enumerations);
      break;
    }
  }
}
BENCHMARK(BM_Link_IdleCost)->DenseRange(0, 2)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
