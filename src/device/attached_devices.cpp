#include "device/attached_devices.h"

#include <algorithm>

namespace qv {

std::vector<AttachedDevice> GroupByDevice(const std::vector<HidInterfaceInfo>& attached) {
  std::vector<AttachedDevice> devices;
  for (const HidInterfaceInfo& info : attached) {
    const DeviceIdentity identity = DeviceIdentity::Of(info);
    auto known = std::find_if(devices.begin(), devices.end(),
                              [&](const AttachedDevice& d) { return d.identity == identity; });
    if (known == devices.end()) {
      devices.push_back({identity, {}, Indistinct(identity, attached)});
      known = devices.end() - 1;
    }
    known->interfaces.push_back(info);
  }
  return devices;
}

}  // namespace qv
