#include "link/LibusbTransport.h"

#include <chrono>
#include <memory>

namespace tarvo {

namespace {

// One enumerated libusb device: a reference taken at construction and dropped at destruction,
// and the handle while open.
class LibusbDevice final : public UsbDevice {
 public:
  LibusbDevice(libusb_device* device, const UsbDeviceSummary& summary)
      : device_(libusb_ref_device(device)), summary_(summary) {}
  ~LibusbDevice() override {
    close();
    libusb_unref_device(device_);
  }
  LibusbDevice(const LibusbDevice&) = delete;
  LibusbDevice& operator=(const LibusbDevice&) = delete;

  const UsbDeviceSummary& summary() const override { return summary_; }

  int open() override {
    if (handle_) return 0;
    libusb_device_handle* h = nullptr;
    int r = libusb_open(device_, &h);
    if (r < 0) return r;
    if (!h) return LIBUSB_ERROR_OTHER;
    handle_ = h;
    return 0;
  }
  void close() override {
    if (handle_) libusb_close(handle_);
    handle_ = nullptr;
  }
  bool isOpen() const override { return handle_ != nullptr; }

  int stringDescriptorAscii(uint8_t index, unsigned char* out, int capacity) override {
    if (!handle_) return LIBUSB_ERROR_NO_DEVICE;
    return libusb_get_string_descriptor_ascii(handle_, index, out, capacity);
  }
  int setConfiguration(int configuration) override {
    return handle_ ? libusb_set_configuration(handle_, configuration) : LIBUSB_ERROR_NO_DEVICE;
  }
  int claimInterface(int interfaceNumber) override {
    return handle_ ? libusb_claim_interface(handle_, interfaceNumber) : LIBUSB_ERROR_NO_DEVICE;
  }
  int releaseInterface(int interfaceNumber) override {
    return handle_ ? libusb_release_interface(handle_, interfaceNumber) : LIBUSB_ERROR_NO_DEVICE;
  }
  int setInterfaceAltSetting(int interfaceNumber, int altSetting) override {
    return handle_ ? libusb_set_interface_alt_setting(handle_, interfaceNumber, altSetting)
                   : LIBUSB_ERROR_NO_DEVICE;
  }
  int bulkTransfer(uint8_t endpointAddress, uint8_t* data, int length, int* transferred,
                   unsigned timeoutMs) override {
    *transferred = 0;
    if (!handle_) return LIBUSB_ERROR_NO_DEVICE;
    return libusb_bulk_transfer(handle_, endpointAddress, data, length, transferred, timeoutMs);
  }

 private:
  libusb_device* device_;
  libusb_device_handle* handle_ = nullptr;
  UsbDeviceSummary summary_;
};

}  // namespace

LibusbTransport::~LibusbTransport() {
  libusb_context* ctx = ctx_.exchange(nullptr);
  if (!ctx) return;
  if (hotplug_.load()) libusb_hotplug_deregister_callback(ctx, hotplugHandle_);
  libusb_exit(ctx);
}

libusb_context* LibusbTransport::context() {
  libusb_context* ctx = ctx_.load();
  if (ctx) return ctx;
  std::lock_guard<std::mutex> guard(contextMutex_);
  ctx = ctx_.load();
  if (ctx) return ctx;
  if (libusb_init(&ctx) < 0) return nullptr;  // tried again on the next enumeration
  if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
    int r = libusb_hotplug_register_callback(
        ctx,
        static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                          LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
        LIBUSB_HOTPLUG_MATCH_ANY, &LibusbTransport::onHotplug, this, &hotplugHandle_);
    hotplug_ = (r == LIBUSB_SUCCESS);
  }
  ctx_ = ctx;
  return ctx;
}

int LIBUSB_CALL LibusbTransport::onHotplug(libusb_context*, libusb_device*, libusb_hotplug_event,
                                           void* self) {
  static_cast<LibusbTransport*>(self)->changed_ = true;
  return 0;  // stay registered
}

int LibusbTransport::enumerate(UsbDeviceList& devices) {
  devices.clear();
  libusb_context* ctx = context();
  if (!ctx) return LIBUSB_ERROR_OTHER;
  libusb_device** list = nullptr;
  ssize_t n = libusb_get_device_list(ctx, &list);
  if (n < 0) return static_cast<int>(n);
  devices.reserve(static_cast<size_t>(n));
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(list[i], &desc) != LIBUSB_SUCCESS) continue;
    UsbDeviceSummary s;
    s.idVendor = desc.idVendor;
    s.idProduct = desc.idProduct;
    s.deviceClass = desc.bDeviceClass;
    s.deviceSubClass = desc.bDeviceSubClass;
    s.manufacturerIndex = desc.iManufacturer;
    s.productIndex = desc.iProduct;
    s.serialNumberIndex = desc.iSerialNumber;
    s.busNumber = libusb_get_bus_number(list[i]);
    s.portNumber = libusb_get_port_number(list[i]);
    s.address = libusb_get_device_address(list[i]);
    devices.push_back(std::make_unique<LibusbDevice>(list[i], s));
  }
  // Each device unreferenced once; the wrappers hold their own reference.
  libusb_free_device_list(list, 1);
  return static_cast<int>(devices.size());
}

void LibusbTransport::waitForDeviceChange(int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  libusb_context* ctx = ctx_.load();
  if (ctx && hotplug_.load()) {
    // Hotplug callbacks run inside libusb's event handling, so sleeping in it is what lets
    // them fire. wake() interrupts it through libusb_interrupt_event_handler.
    while (!changed_.load() && !woken_.load()) {
      auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      timeval tv{static_cast<time_t>(left.count() / 1000000),
                 static_cast<suseconds_t>(left.count() % 1000000)};
      libusb_handle_events_timeout_completed(ctx, &tv, nullptr);
    }
  } else {
    std::unique_lock<std::mutex> lock(wakeMutex_);
    wakeCv_.wait_until(lock, deadline, [this] { return woken_.load(); });
  }
  changed_ = false;
  woken_ = false;
}

void LibusbTransport::wake() {
  {
    std::lock_guard<std::mutex> guard(wakeMutex_);
    woken_ = true;
  }
  wakeCv_.notify_all();
  libusb_context* ctx = ctx_.load();
  if (ctx && hotplug_.load()) libusb_interrupt_event_handler(ctx);
}

UsbTransport& systemUsbTransport() {
  static LibusbTransport* transport = new LibusbTransport();  // intentionally never destroyed
  return *transport;
}

}  // namespace tarvo
