#pragma once

#include <string>

#include "device/hid_link.h"

namespace qv::winui {

// "No device, please connect usb cable to device !", and when the last discovery found the
// device attached but was refused its open, what to do about that on this system (telling the
// user to plug in a device that is plugged in would send them the wrong way).
[[nodiscard]] std::string NoDeviceMessage(const HidLink& link);

}  // namespace qv::winui
