#include "device/device_identity.h"

#include <algorithm>

namespace qv {

DeviceIdentity DeviceIdentity::Of(const HidInterfaceInfo& info) {
  DeviceIdentity identity;
  identity.usb_port = info.usb_port;
  if (info.usb_port.empty()) identity.serial_number = info.serial_number;
  return identity;
}

DeviceIdentity DeviceIdentity::OfInterface(const HidInterfaceInfo& info) {
  DeviceIdentity identity = Of(info);
  identity.preferred_path = info.path;
  identity.preferred_interface = info.interface_number;
  identity.preferred_usage_page = info.usage_page;
  return identity;
}

bool DeviceIdentity::Matches(const HidInterfaceInfo& info) const {
  if (!usb_port.empty()) return info.usb_port == usb_port;
  return info.usb_port.empty() && info.serial_number == serial_number;
}

// The path names the interface before a reset; after it, where the path may have changed, the
// interface number and usage page that hidapi reports do, when it reports them.
bool DeviceIdentity::Prefers(const HidInterfaceInfo& info) const {
  if (preferred_path.empty()) return false;
  if (info.path == preferred_path) return true;
  return preferred_interface >= 0 && info.interface_number == preferred_interface &&
         info.usage_page == preferred_usage_page;
}

std::string DeviceIdentity::Text() const {
  if (!usb_port.empty()) return "port " + usb_port;
  if (!serial_number.empty()) return "serial " + serial_number;
  return "no port or serial";
}

std::size_t CountMatching(const DeviceIdentity& identity,
                          const std::vector<HidInterfaceInfo>& attached) {
  return static_cast<std::size_t>(
      std::count_if(attached.begin(), attached.end(),
                    [&](const HidInterfaceInfo& info) { return identity.Matches(info); }));
}

bool Indistinct(const DeviceIdentity& identity, const std::vector<HidInterfaceInfo>& attached) {
  return identity.usb_port.empty() && CountMatching(identity, attached) > 1;
}

std::vector<DeviceIdentity> IndistinctIdentities(const std::vector<HidInterfaceInfo>& attached) {
  std::vector<DeviceIdentity> shared;
  for (const HidInterfaceInfo& info : attached) {
    const DeviceIdentity identity = DeviceIdentity::Of(info);
    if (Indistinct(identity, attached) &&
        std::find(shared.begin(), shared.end(), identity) == shared.end()) {
      shared.push_back(identity);
    }
  }
  return shared;
}

}  // namespace qv
