#include "platform/usb_port.h"

#include <cctype>
#include <string_view>
#include <system_error>

namespace qv {
namespace {

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// A USB port: "<bus>-<port>[.<port>...]", e.g. "1-2" or "3-1.4.2".
bool IsUsbPort(std::string_view name) {
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || !AllDigits(name.substr(0, dash))) return false;
  std::string_view ports = name.substr(dash + 1);
  for (;;) {
    const std::size_t dot = ports.find('.');
    if (!AllDigits(ports.substr(0, dot))) return false;
    if (dot == std::string_view::npos) return true;
    ports.remove_prefix(dot + 1);
  }
}

// A USB interface directory: "<port>:<configuration>.<interface>", e.g. "1-2.3:1.0".
bool IsUsbInterface(std::string_view name, std::string& port) {
  const std::size_t colon = name.find(':');
  if (colon == std::string_view::npos || !IsUsbPort(name.substr(0, colon))) return false;
  const std::string_view rest = name.substr(colon + 1);
  const std::size_t dot = rest.find('.');
  if (dot == std::string_view::npos || !AllDigits(rest.substr(0, dot)) ||
      !AllDigits(rest.substr(dot + 1))) {
    return false;
  }
  port = name.substr(0, colon);
  return true;
}

}  // namespace

std::string UsbPortOfInterfacePath(const std::string& device_path) {
  std::string port;
  if (!IsUsbInterface(device_path, port)) return {};
  return port;
}

std::string UsbPortOfHidraw(const std::filesystem::path& sysfs_root,
                            const std::string& device_path) {
  const std::string node = std::filesystem::path(device_path).filename().string();
  if (node.rfind("hidraw", 0) != 0 || !AllDigits(std::string_view(node).substr(6))) return {};
  std::error_code error;
  // class/hidraw/hidrawN/device links to the HID device, whose parent is the USB interface.
  const std::filesystem::path device =
      std::filesystem::canonical(sysfs_root / "class" / "hidraw" / node / "device", error);
  if (error) return {};
  std::string port;
  for (std::filesystem::path at = device; at.has_relative_path() && at != at.parent_path();
       at = at.parent_path()) {
    if (IsUsbInterface(at.filename().string(), port)) return port;
  }
  return {};
}

}  // namespace qv
