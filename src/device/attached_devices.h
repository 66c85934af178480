#pragma once

#include <vector>

#include "device/device_identity.h"
#include "platform/hid_bus.h"

namespace qv {

// One device among the attached entries: a composite device lists one entry per interface.
struct AttachedDevice {
  DeviceIdentity identity;
  std::vector<HidInterfaceInfo> interfaces;  // its entries, in enumeration order
  // No port is known and nothing tells its entries apart from another device's (Indistinct).
  bool indistinct = false;

  // The entry discovery takes for the device: its first in enumeration order.
  [[nodiscard]] const HidInterfaceInfo& first() const { return interfaces.front(); }
};

// The attached entries grouped into devices, in the enumeration order of each device's first
// entry.
[[nodiscard]] std::vector<AttachedDevice> GroupByDevice(
    const std::vector<HidInterfaceInfo>& attached);

}  // namespace qv
