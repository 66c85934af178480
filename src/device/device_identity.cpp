#include "device/device_identity.h"

#include <algorithm>

namespace qv {

DeviceIdentity DeviceIdentity::Of(const HidInterfaceInfo& info) {
  return {info.usb_port, info.serial_number};
}

bool DeviceIdentity::Matches(const HidInterfaceInfo& info) const {
  return info.usb_port == usb_port && info.serial_number == serial_number;
}

std::string DeviceIdentity::Text() const {
  if (!usb_port.empty() && !serial_number.empty()) {
    return "port " + usb_port + ", serial " + serial_number;
  }
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
  return CountMatching(identity, attached) > 1;
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
