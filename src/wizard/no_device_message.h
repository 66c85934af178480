#pragma once

#include <string>

#include "device/hid_link.h"
#include "platform/device_access_advice.h"

namespace qv {

// The message after a discovery that took no device: "No device, please connect usb cable to
// device !", and one more line only when it was not the cable: a device is attached that this
// user may not open (what to do, as this system gives it), or the system could not list the
// devices at all.
[[nodiscard]] std::string NoDeviceMessage(const HidLink& link, const DeviceRuleLookup& rules);

}  // namespace qv
