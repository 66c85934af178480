#include "device/device_choice.h"

#include <algorithm>
#include <utility>

#include "device/hid_link.h"

namespace qv {
namespace {

// Opens the interface and reads its ids from the open port; the enumeration's ids are not
// trusted for this. The port is kept open only when it matches.
ProbedInterface Probe(HidBus& bus, const HidInterfaceInfo& info,
                      std::unique_ptr<HidPort>& matching_port) {
  ProbedInterface probed;
  probed.info = info;
  HidOpenResult opened = bus.OpenWithReason(info.path);
  std::unique_ptr<HidPort> port = std::move(opened.port);
  if (port == nullptr) {
    // Not openable: not ours to open, or gone, or not set up yet by the system.
    if (opened.failure == HidOpenFailure::kAccessDenied) {
      probed.state = InterfaceState::kAccessDenied;
    }
    return probed;
  }
  if (!port->GetAttributes(probed.vendor_id, probed.product_id)) {
    probed.state = InterfaceState::kAttributesUnreadable;
    return probed;
  }
  if (probed.vendor_id != kDeviceVendorId || probed.product_id != kDeviceProductId) {
    probed.state = InterfaceState::kOtherDevice;
    return probed;
  }
  probed.state = InterfaceState::kMatches;
  matching_port = std::move(port);
  return probed;
}

// The entries discovery looks at, in its order: every one, or the wanted device's with its
// chosen interface first.
std::vector<HidInterfaceInfo> Candidates(const std::vector<HidInterfaceInfo>& interfaces,
                                         const std::optional<DeviceIdentity>& wanted) {
  if (!wanted) return interfaces;
  std::vector<HidInterfaceInfo> candidates;
  for (const HidInterfaceInfo& info : interfaces) {
    if (wanted->Matches(info)) candidates.push_back(info);
  }
  std::stable_partition(candidates.begin(), candidates.end(),
                        [&](const HidInterfaceInfo& info) { return wanted->Prefers(info); });
  return candidates;
}

}  // namespace

DeviceChoice ChooseDevice(HidBus& bus, NamedMutexSystem& mutexes, const DiscoveryRequest& request) {
  DeviceChoice choice;
  choice.run_lock_held_elsewhere = request.run_lock_held_elsewhere;
  std::vector<HidInterfaceInfo> interfaces;
  choice.enumerated = bus.Enumerate(kDeviceVendorId, kDeviceProductId, interfaces);
  // A failed enumeration takes no device, and says why.
  if (!choice.enumerated) {
    interfaces.clear();
    choice.enumeration_failure = bus.EnumerationFailure();
  }
  if (request.wanted && Indistinct(*request.wanted, interfaces)) {
    choice.indistinct = true;
    return choice;
  }
  for (const HidInterfaceInfo& info : Candidates(interfaces, request.wanted)) {
    const bool decided = choice.mutex_status.has_value();
    if (decided && !request.look_at_every_interface) break;
    std::unique_ptr<HidPort> port;
    choice.interfaces.push_back(Probe(bus, info, port));
    if (port == nullptr || decided || request.run_lock_held_elsewhere) continue;
    NamedMutexResult mutex = mutexes.Create(kDeviceMutexName);
    choice.mutex_status = mutex.status;
    if (mutex.status == NamedMutexStatus::kAlreadyExists) continue;
    choice.taken = choice.interfaces.size() - 1;
    choice.port = std::move(port);
    choice.mutex = std::move(mutex.handle);
  }
  if (choice.taken && !request.wanted) {
    choice.indistinct =
        Indistinct(DeviceIdentity::Of(choice.interfaces[*choice.taken].info), interfaces);
  }
  return choice;
}

DiscoveryMiss MissFrom(bool taken, bool mutex_held_elsewhere, bool run_lock_held_elsewhere,
                       bool enumerated, const std::vector<ProbedInterface>& interfaces) {
  if (taken) return DiscoveryMiss::kNone;
  if (mutex_held_elsewhere || run_lock_held_elsewhere) return DiscoveryMiss::kBusy;
  if (!enumerated) return DiscoveryMiss::kEnumerationFailed;
  for (const ProbedInterface& probed : interfaces) {
    if (probed.state == InterfaceState::kAccessDenied) return DiscoveryMiss::kAccessDenied;
  }
  return DiscoveryMiss::kNoDevice;
}

DiscoveryMiss MissOf(const DeviceChoice& choice) {
  return MissFrom(choice.taken.has_value(),
                  choice.mutex_status == NamedMutexStatus::kAlreadyExists,
                  choice.run_lock_held_elsewhere, choice.enumerated, choice.interfaces);
}

}  // namespace qv
