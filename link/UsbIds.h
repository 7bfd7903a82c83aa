// The accessory's USB identity.
//
// All three accessory generations present the same vendor/product pair; the generation is only
// told by the discover response. The vendor id is the accessory maker's and is a configuration
// value of this build: change it here and nowhere else (the udev rule in packaging/udev/ must
// name the same pair).
#pragma once

#include <cstdint>

namespace tarvo {

constexpr uint16_t ACCESSORY_VENDOR_ID = 0x3A7D;
constexpr uint16_t ACCESSORY_PRODUCT_ID = 7;

// The link's fixed USB layout: configuration 1, interface 1 with alternate setting 1, bulk OUT
// endpoint 3 and bulk IN endpoint 4 (address 0x84).
constexpr int ACCESSORY_CONFIGURATION = 1;
constexpr int ACCESSORY_INTERFACE = 1;
constexpr int ACCESSORY_ALT_SETTING = 1;
constexpr uint8_t ACCESSORY_OUT_ENDPOINT = 0x03;
constexpr uint8_t ACCESSORY_IN_ENDPOINT = 0x04;
constexpr uint8_t ENDPOINT_DIR_IN = 0x80;

inline bool matchesAccessoryIds(uint16_t idVendor, uint16_t idProduct) {
  return idVendor == ACCESSORY_VENDOR_ID && idProduct == ACCESSORY_PRODUCT_ID;
}

}  // namespace tarvo
