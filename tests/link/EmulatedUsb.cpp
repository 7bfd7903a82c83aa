#include "EmulatedUsb.h"

#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tarvo::test {

namespace {

std::string hex(const Bytes& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// Device descriptor + configuration 1: interface 0 (vendor class, no endpoints), interface 1
// alternate 0 (no endpoints) and alternate 1 with bulk OUT 0x03 and bulk IN 0x84, 64-byte
// packets (full speed).
Bytes descriptors(const EmulatedDeviceIdentity& s) {
  Bytes d = {0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40,
             uint8_t(s.idVendor & 0xFF), uint8_t(s.idVendor >> 8),
             uint8_t(s.idProduct & 0xFF), uint8_t(s.idProduct >> 8),
             0x00, 0x01, 0x01, 0x02, 0x03, 0x01};
  const Bytes config = {
      0x09, 0x02, 50, 0x00, 0x02, 0x01, 0x00, 0x80, 0x32,  // 50 bytes, 2 interfaces, config 1
      0x09, 0x04, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00,  // interface 0
      0x09, 0x04, 0x01, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00,  // interface 1 alt 0
      0x09, 0x04, 0x01, 0x01, 0x02, 0xFF, 0x00, 0x00, 0x00,  // interface 1 alt 1, 2 endpoints
      0x07, 0x05, 0x03, 0x02, 0x40, 0x00, 0x00,              // bulk OUT 0x03
      0x07, 0x05, 0x84, 0x02, 0x40, 0x00, 0x00,              // bulk IN 0x84
  };
  d.insert(d.end(), config.begin(), config.end());
  return d;
}

Bytes stringDescriptor(const std::string& text) {
  Bytes d = {uint8_t(2 + 2 * text.size()), 0x03};
  for (char c : text) {
    d.push_back(static_cast<uint8_t>(c));
    d.push_back(0);
  }
  return d;
}

UMockdevIoctlData* resolve(UMockdevIoctlData* data, size_t offset, size_t length) {
  GError* error = nullptr;
  UMockdevIoctlData* r = umockdev_ioctl_data_resolve(data, offset, length, &error);
  if (error) {
    std::fprintf(stderr, "emulated usb: cannot resolve ioctl data: %s\n", error->message);
    g_error_free(error);
  }
  return r;
}

usbdevfs_urb* urbOf(UMockdevIoctlData* d) { return reinterpret_cast<usbdevfs_urb*>(d->data); }

}  // namespace

int openFileDescriptors() {
  // Probed with fcntl: umockdev's preload also wraps directory reads, so /proc/self/fd
  // listings are not to be trusted under it.
  int n = 0;
  for (int fd = 0; fd < 4096; ++fd) n += (fcntl(fd, F_GETFD) != -1);
  return n;
}

bool underUmockdev() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload && std::strstr(preload, "libumockdev-preload") != nullptr;
}

// ---------------------------------------------------------------------------------------------

EmulatedAccessory::EmulatedAccessory(const EmulatedDeviceIdentity& identity, int devnum, int port)
    : identity_(identity), devnum_(devnum), port_(port) {
  syspath_ = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(port_);
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum_);
  devnode_ = node;
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedAccessory::onIoctl), this);
  g_signal_connect(handler_, "client-connected", G_CALLBACK(&EmulatedAccessory::onConnected), this);
}

EmulatedAccessory::~EmulatedAccessory() {
  for (auto* d : parkedIn_) g_object_unref(d);
  for (auto* d : done_) g_object_unref(d);
  g_signal_handlers_disconnect_by_data(handler_, this);
  g_object_unref(handler_);
}

std::string EmulatedAccessory::description() const {
  char numbers[256];
  std::snprintf(numbers, sizeof numbers,
                "N: bus/usb/001/%03d\n"
                "E: DEVNAME=%s\n"
                "E: DEVTYPE=usb_device\n"
                "E: DRIVER=usb\n"
                "E: PRODUCT=%x/%x/100\n"
                "E: TYPE=0/0/0\n"
                "E: BUSNUM=001\n"
                "E: DEVNUM=%03d\n"
                "E: SUBSYSTEM=usb\n",
                devnum_, devnode_.c_str(), identity_.idVendor, identity_.idProduct, devnum_);
  std::string s = "P: " + syspath_.substr(4) + "\n" + numbers;
  s += "A: bConfigurationValue=1\n";
  s += "A: busnum=1\n";
  s += "A: devnum=" + std::to_string(devnum_) + "\n";
  s += "A: speed=12\n";
  s += "H: descriptors=" + hex(descriptors(identity_)) + "\n";
  return s;
}

void EmulatedAccessory::setResponder(std::function<Bytes(const Bytes&)> responder) {
  std::lock_guard<std::mutex> g(m_);
  responder_ = std::move(responder);
}

void EmulatedAccessory::queueIn(Bytes chunk) {
  std::lock_guard<std::mutex> g(m_);
  pendingIn_.push_back(std::move(chunk));
  serveParkedLocked();
}

int EmulatedAccessory::opens() {
  std::lock_guard<std::mutex> g(m_);
  return opens_;
}
int EmulatedAccessory::configuration() {
  std::lock_guard<std::mutex> g(m_);
  return configuration_;
}
std::vector<int> EmulatedAccessory::claimed() {
  std::lock_guard<std::mutex> g(m_);
  return claimed_;
}
std::vector<std::pair<int, int>> EmulatedAccessory::altSettings() {
  std::lock_guard<std::mutex> g(m_);
  return altSettings_;
}
std::vector<Bytes> EmulatedAccessory::outTransfers() {
  std::lock_guard<std::mutex> g(m_);
  return outTransfers_;
}
int EmulatedAccessory::inSubmits() {
  std::lock_guard<std::mutex> g(m_);
  return inSubmits_;
}
std::vector<unsigned long> EmulatedAccessory::unknownRequests() {
  std::lock_guard<std::mutex> g(m_);
  return unknown_;
}

void EmulatedAccessory::onConnected(UMockdevIoctlBase*, UMockdevIoctlClient*, gpointer self) {
  auto* a = static_cast<EmulatedAccessory*>(self);
  std::lock_guard<std::mutex> g(a->m_);
  a->opens_++;
}

gboolean EmulatedAccessory::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                    gpointer self) {
  return static_cast<EmulatedAccessory*>(self)->handle(client);
}

// Moves queued IN data into parked IN URBs. Caller holds m_.
void EmulatedAccessory::serveParkedLocked() {
  while (!parkedIn_.empty() && !pendingIn_.empty()) {
    UMockdevIoctlData* d = parkedIn_.front();
    parkedIn_.pop_front();
    usbdevfs_urb* urb = urbOf(d);
    Bytes& chunk = pendingIn_.front();
    int n = std::min<int>(urb->buffer_length, static_cast<int>(chunk.size()));
    std::memcpy(urb->buffer, chunk.data(), static_cast<size_t>(n));
    urb->actual_length = n;
    urb->status = 0;
    chunk.erase(chunk.begin(), chunk.begin() + n);
    if (chunk.empty()) pendingIn_.pop_front();
    done_.push_back(d);
  }
}

bool EmulatedAccessory::fillControl(unsigned char* buffer, int length, int* actual) {
  *actual = 0;
  if (length < 8) return false;
  const uint8_t requestType = buffer[0], request = buffer[1];
  const uint8_t index = buffer[2], type = buffer[3];
  const int wLength = buffer[6] | (buffer[7] << 8);
  if (requestType != 0x80 || request != 0x06 || type != 0x03) return false;  // GET_DESCRIPTOR(string)
  Bytes reply;
  switch (index) {
    case 0: reply = {0x04, 0x03, 0x09, 0x04}; break;  // English (US)
    case 1: reply = stringDescriptor(identity_.manufacturer); break;
    case 2: reply = stringDescriptor(identity_.product); break;
    case 3: reply = stringDescriptor(identity_.serial); break;
    default: return false;
  }
  int n = std::min({static_cast<int>(reply.size()), wLength, length - 8});
  std::memcpy(buffer + 8, reply.data(), static_cast<size_t>(n));
  *actual = n;
  return true;
}

void EmulatedAccessory::submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  UMockdevIoctlData* d = resolve(arg, 0, sizeof(usbdevfs_urb));
  if (!d) {
    umockdev_ioctl_client_complete(client, -1, EFAULT);
    return;
  }
  usbdevfs_urb* urb = urbOf(d);
  UMockdevIoctlData* buffer =
      resolve(d, offsetof(usbdevfs_urb, buffer), static_cast<size_t>(std::max(urb->buffer_length, 0)));
  if (buffer) g_object_unref(buffer);  // d keeps the resolved child alive

  std::unique_lock<std::mutex> lock(m_);
  if (disconnected_) {
    lock.unlock();
    g_object_unref(d);
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return;
  }
  auto* data = static_cast<unsigned char*>(urb->buffer);
  if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
    int actual = 0;
    urb->status = fillControl(data, urb->buffer_length, &actual) ? 0 : -EPIPE;
    urb->actual_length = actual;
    done_.push_back(d);
  } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == ACCESSORY_OUT_ENDPOINT) {
    Bytes out(data, data + urb->buffer_length);
    outTransfers_.push_back(out);
    urb->actual_length = urb->buffer_length;
    urb->status = 0;
    done_.push_back(d);
    if (responder_) {
      Bytes reply = responder_(out);
      if (!reply.empty()) pendingIn_.push_back(std::move(reply));
    }
    serveParkedLocked();
  } else if (urb->type == USBDEVFS_URB_TYPE_BULK &&
             urb->endpoint == (ENDPOINT_DIR_IN | ACCESSORY_IN_ENDPOINT)) {
    inSubmits_++;
    parkedIn_.push_back(d);
    serveParkedLocked();
  } else {
    urb->status = -EPIPE;  // no such endpoint
    urb->actual_length = 0;
    done_.push_back(d);
  }
  lock.unlock();
  umockdev_ioctl_client_complete(client, 0, 0);
}

gboolean EmulatedAccessory::handle(UMockdevIoctlClient* client) {
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);

  auto readArg = [&](size_t size) -> void* {
    UMockdevIoctlData* d = resolve(arg, 0, size);
    if (!d) return nullptr;
    void* p = d->data;
    g_object_unref(d);  // arg keeps the resolved block
    return p;
  };

  if (request == USBDEVFS_SUBMITURB) {
    submit(client, arg);
    return TRUE;
  }
  if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
    UMockdevIoctlData* urb = nullptr;
    bool gone = false;
    {
      std::lock_guard<std::mutex> g(m_);
      if (!done_.empty()) {
        urb = done_.front();
        done_.pop_front();
      }
      gone = disconnected_;
    }
    if (!urb) {
      // The emulated node always polls writable, so libusb asks again at once; a short pause
      // here keeps a parked read from spinning a core.
      if (!gone) g_usleep(1000);
      umockdev_ioctl_client_complete(client, -1, gone ? ENODEV : EAGAIN);
      return TRUE;
    }
    UMockdevIoctlData* ptr = resolve(arg, 0, sizeof(void*));
    umockdev_ioctl_data_set_ptr(ptr, 0, urb);
    g_object_unref(ptr);
    g_object_unref(urb);
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
  }
  if (request == USBDEVFS_DISCARDURB) {
    const gulong address = *reinterpret_cast<gulong*>(arg->data);
    bool found = false;
    {
      std::lock_guard<std::mutex> g(m_);
      auto it = std::find_if(parkedIn_.begin(), parkedIn_.end(),
                             [&](UMockdevIoctlData* d) { return d->client_addr == address; });
      if (it != parkedIn_.end()) {
        urbOf(*it)->status = -ENOENT;
        urbOf(*it)->actual_length = 0;
        done_.push_back(*it);
        parkedIn_.erase(it);
        found = true;
      }
    }
    umockdev_ioctl_client_complete(client, found ? 0 : -1, found ? 0 : EINVAL);
    return TRUE;
  }

  std::unique_lock<std::mutex> lock(m_);
  if (disconnected_) {
    lock.unlock();
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return TRUE;
  }
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      lock.unlock();
      auto* caps = static_cast<uint32_t*>(readArg(sizeof(uint32_t)));
      if (caps) {
        *caps = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      }
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_SETCONFIGURATION: {
      lock.unlock();
      auto* value = static_cast<unsigned int*>(readArg(sizeof(unsigned int)));
      lock.lock();
      if (value) configuration_ = static_cast<int>(*value);
      lock.unlock();
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
      lock.unlock();
      auto* value = static_cast<unsigned int*>(readArg(sizeof(unsigned int)));
      lock.lock();
      if (value) {
        int n = static_cast<int>(*value);
        claimed_.erase(std::remove(claimed_.begin(), claimed_.end(), n), claimed_.end());
        if (request == USBDEVFS_CLAIMINTERFACE) claimed_.push_back(n);
      }
      lock.unlock();
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_SETINTERFACE: {
      lock.unlock();
      auto* s = static_cast<usbdevfs_setinterface*>(readArg(sizeof(usbdevfs_setinterface)));
      lock.lock();
      if (s) altSettings_.emplace_back(static_cast<int>(s->interface), static_cast<int>(s->altsetting));
      lock.unlock();
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESET:
    case USBDEVFS_RESETEP:
      lock.unlock();
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    case USBDEVFS_GETDRIVER:
      lock.unlock();
      umockdev_ioctl_client_complete(client, -1, ENODATA);
      return TRUE;
    default:
      unknown_.push_back(request);
      lock.unlock();
      umockdev_ioctl_client_complete(client, -1, ENOTTY);
      return TRUE;
  }
}

void EmulatedAccessory::disconnect() {
  std::lock_guard<std::mutex> g(m_);
  disconnected_ = true;
  for (auto* d : parkedIn_) {
    urbOf(d)->status = -ESHUTDOWN;
    urbOf(d)->actual_length = 0;
    done_.push_back(d);
  }
  parkedIn_.clear();
}

// ---------------------------------------------------------------------------------------------

EmulatedUsbBus::EmulatedUsbBus() {
  testbed_ = umockdev_testbed_new();
  if (!testbed_) throw std::runtime_error("umockdev_testbed_new failed");
}

EmulatedUsbBus::~EmulatedUsbBus() {
  detachAll();
  g_object_unref(testbed_);
  devices_.clear();
}

void EmulatedUsbBus::detachAll() {
  for (auto& d : devices_) {
    if (d->attached_) umockdev_testbed_detach_ioctl(testbed_, d->devnode().c_str(), nullptr);
    d->attached_ = false;
  }
}

EmulatedAccessory& EmulatedUsbBus::plug(const EmulatedDeviceIdentity& identity,
                                        const std::function<void(EmulatedAccessory&)>& configure) {
  int port = identity.port > 0 ? identity.port : nextPort_++;
  devices_.push_back(std::make_unique<EmulatedAccessory>(identity, nextDevnum_++, port));
  EmulatedAccessory& d = *devices_.back();
  if (configure) configure(d);
  GError* error = nullptr;
  // The handler goes first, so that a libusb_open right after the add uevent finds it.
  if (!umockdev_testbed_attach_ioctl(testbed_, d.devnode().c_str(), d.handler_, &error)) {
    std::string message = error ? error->message : "unknown";
    if (error) g_error_free(error);
    throw std::runtime_error("attach_ioctl " + d.devnode() + ": " + message);
  }
  d.attached_ = true;
  if (!umockdev_testbed_add_from_string(testbed_, d.description().c_str(), &error)) {
    std::string message = error ? error->message : "unknown";
    if (error) g_error_free(error);
    throw std::runtime_error("add_from_string: " + message);
  }
  return d;
}

void EmulatedUsbBus::unplug(EmulatedAccessory& device, bool kernelFailsTransfers) {
  if (kernelFailsTransfers) device.disconnect();
  umockdev_testbed_uevent(testbed_, device.syspath().c_str(), "remove");
  umockdev_testbed_remove_device(testbed_, device.syspath().c_str());
}

}  // namespace tarvo::test
