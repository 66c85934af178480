#pragma once

// What the system tells about a HID device path that hidapi enumerated: the USB port the device
// sits on, which stays the same across its reset while the path may not, and whether this user
// may open it.

#include <string>

#include "platform/refused_open.h"

namespace qv {

// The port's name on this system, or empty where it cannot be found. A path that names its port
// itself (hidapi's libusb back end) gives that port on every system.
[[nodiscard]] std::string UsbPortOfDevice(const std::string& device_path);

// True when the system refused this user the device (the open failed for want of rights), as
// far as the failed open or a direct look at the device tells.
[[nodiscard]] bool DeviceRefusesAccess(const std::string& device_path,
                                       const HidapiOpenError& error);

}  // namespace qv
