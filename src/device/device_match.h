#pragma once

#include <cstdint>

#include "device/hid_link.h"
#include "platform/hid_bus.h"

namespace qv {

// Whether an opened port is the updater's device: its attributes can be read and carry the
// device's vendor and product id. The enumeration's ids are not trusted for this.
[[nodiscard]] inline bool PortMatches(HidPort& port) {
  uint16_t vendor_id = 0;
  uint16_t product_id = 0;
  if (!port.GetAttributes(vendor_id, product_id)) return false;
  return vendor_id == kDeviceVendorId && product_id == kDeviceProductId;
}

}  // namespace qv
