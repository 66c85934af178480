#pragma once

#include <filesystem>
#include <string>

namespace qv {

// The USB port a hidraw device is plugged into ("1-2.3": bus 1, hub port 2, its port 3), found
// from the hidraw node's parent device in sysfs. `sysfs_root` is "/sys" on a running system.
// Empty when the path is not a hidraw node or the device does not sit on USB. The port stays
// the same when the device re-enumerates after a reset, unlike the node's number.
[[nodiscard]] std::string UsbPortOfHidraw(const std::filesystem::path& sysfs_root,
                                          const std::string& device_path);

// The USB port named by a device path of the form hidapi's libusb back end gives an interface,
// "<port>:<configuration>.<interface>" ("1-2.3:1.0"); empty for any other path. Such a path is
// its port, so it stays the same across a reset.
[[nodiscard]] std::string UsbPortOfInterfacePath(const std::string& device_path);

}  // namespace qv
