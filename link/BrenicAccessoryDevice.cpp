#include "link/BrenicAccessoryDevice.h"

#include "link/UsbIds.h"

namespace tarvo {

BrenicAccessoryDevice::BrenicAccessoryDevice(std::unique_ptr<UsbDevice> usb, FILE* out)
    : usb_(std::move(usb)), out_(out) {}

BrenicAccessoryDevice::~BrenicAccessoryDevice() { close(); }

bool BrenicAccessoryDevice::sameDevice(const BrenicAccessoryDevice& other) const {
  const UsbDeviceSummary& a = summary();
  const UsbDeviceSummary& b = other.summary();
  return a.idVendor == b.idVendor && a.idProduct == b.idProduct && a.busNumber == b.busNumber &&
         a.portNumber == b.portNumber && a.address == b.address;
}

bool BrenicAccessoryDevice::matchesAccessory() const {
  return preapproved != 0 || matchesAccessoryIds(summary().idVendor, summary().idProduct);
}

void BrenicAccessoryDevice::printString(uint8_t index, const char* label, const char* failure) {
  unsigned char text[STRING_BUFFER_SIZE];
  int n = usb_->stringDescriptorAscii(index, text, STRING_BUFFER_SIZE);
  if (n >= 0) {
    std::fprintf(out_, "    %s: %.*s\n", label, n, reinterpret_cast<const char*>(text));
  } else {
    std::fprintf(out_, "    Unable to get %s: %d\n", failure, n);
  }
}

int BrenicAccessoryDevice::open() {
  if (opened_) return 0;
  int r = usb_->open();
  if (r != 0) return r < 0 ? r : LIBUSB_ERROR_OTHER;

  const UsbDeviceSummary& d = summary();
  printString(d.serialNumberIndex, "Serial Number", "Serial Number");
  printString(d.manufacturerIndex, "Manufacturer", "Manufacturer");
  printString(d.productIndex, "Product", "Product Description");
  std::fflush(out_);

  // The configuration and the alternate setting are best effort (a device that is already in
  // configuration 1 may refuse the request while the interface is busy elsewhere), but an
  // interface we cannot claim makes every transfer fail, so that one decides.
  (void)usb_->setConfiguration(ACCESSORY_CONFIGURATION);
  r = usb_->claimInterface(ACCESSORY_INTERFACE);
  if (r < 0) {
    usb_->close();
    return r;
  }
  (void)usb_->setInterfaceAltSetting(ACCESSORY_INTERFACE, ACCESSORY_ALT_SETTING);

  opened_ = true;
  interfaceNumber_ = ACCESSORY_INTERFACE;
  outEndpoint_ = ACCESSORY_OUT_ENDPOINT;
  inEndpoint_ = ACCESSORY_IN_ENDPOINT;
  return 0;
}

void BrenicAccessoryDevice::close(bool deviceGone) {
  if (opened_) {
    if (!deviceGone) (void)usb_->setInterfaceAltSetting(interfaceNumber_, 0);
    (void)usb_->releaseInterface(interfaceNumber_);
    usb_->close();
  }
  opened_ = false;
  interfaceNumber_ = -1;
  outEndpoint_ = 0;
  inEndpoint_ = 0;
}

int BrenicAccessoryDevice::write(const uint8_t* data, int length) {
  if (!opened_) return LIBUSB_ERROR_NO_DEVICE;
  int sent = 0;
  while (sent < length) {
    int moved = 0;
    // libusb takes a non-const buffer for both directions; an OUT transfer only reads it.
    int r = usb_->bulkTransfer(outEndpoint_, const_cast<uint8_t*>(data) + sent, length - sent,
                               &moved, WRITE_TIMEOUT_MS);
    if (moved > 0) sent += moved;
    if (r < 0) return r;
    if (moved <= 0) return LIBUSB_ERROR_IO;
  }
  return 0;
}

int BrenicAccessoryDevice::read(uint8_t* buffer, int capacity, int* received) {
  *received = 0;
  if (!opened_) return LIBUSB_ERROR_NO_DEVICE;
  int r = usb_->bulkTransfer(static_cast<uint8_t>(ENDPOINT_DIR_IN | inEndpoint_), buffer, capacity,
                             received, READ_TIMEOUT_MS);
  if (*received < 0 || *received > capacity) *received = 0;
  return r;
}

}  // namespace tarvo
