#pragma once

// What the system tells about a HID device path that hidapi enumerated: the USB port the device
// sits on, which stays the same across its reset while the path may not, and whether this user
// may open it.

#include <string>

namespace qv {

// The port's name on this system, or empty where it cannot be found.
[[nodiscard]] std::string UsbPortOfDevice(const std::string& device_path);

// True when the system refuses this user the device (the open failed for want of rights).
[[nodiscard]] bool DeviceRefusesAccess(const std::string& device_path);

}  // namespace qv
