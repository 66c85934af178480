#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/device_path.h"
#include "platform/usb_port.h"

namespace qv {

std::string UsbPortOfDevice(const std::string& device_path) {
  std::string port = UsbPortOfInterfacePath(device_path);
  if (port.empty()) port = UsbPortOfHidraw("/sys", device_path);
  return port;
}

// hidraw's open sets errno, but hidapi formats an error text after it, which may overwrite it;
// for a device node the question is asked again directly (with the effective user's rights).
bool DeviceRefusesAccess(const std::string& device_path, const HidapiOpenError& error) {
  if (error.error_number == EACCES || error.error_number == EPERM) return true;
  if (device_path.empty() || device_path.front() != '/') return false;
  if (faccessat(AT_FDCWD, device_path.c_str(), R_OK | W_OK, AT_EACCESS) == 0) return false;
  return errno == EACCES || errno == EPERM;
}

}  // namespace qv
