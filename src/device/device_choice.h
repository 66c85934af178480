#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/device_identity.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"

namespace qv {

// What a look at one enumerated interface found.
enum class InterfaceState {
  kNotOpened,             // the open failed
  kAccessDenied,          // the system refused to open it for this user (device node rights)
  kAttributesUnreadable,  // opened, but its ids could not be read
  kOtherDevice,           // opened, with other ids than the updater's device
  kMatches,               // opened, with the updater's vendor and product id
};

struct ProbedInterface {
  HidInterfaceInfo info;
  InterfaceState state = InterfaceState::kNotOpened;
  uint16_t vendor_id = 0;  // read from the open port, when it could be
  uint16_t product_id = 0;
};

// What a discovery asks for.
struct DiscoveryRequest {
  // Discovery stops at the device it takes. A survey looks at every interface, so that it can
  // report all of them; which device is taken does not change.
  bool look_at_every_interface = false;
  // When set, interfaces of other devices are passed over as if they were not there, and
  // nothing is taken while two or more attached interfaces carry this identity.
  std::optional<DeviceIdentity> wanted;
  // Another updater process holds the run lock: interfaces are looked at, none is taken.
  bool run_lock_held_elsewhere = false;
};

// The outcome: every interface looked at, in enumeration order, and the device taken.
struct DeviceChoice {
  bool enumerated = false;
  std::string enumeration_failure;  // the system's reason, when the list could not be read
  std::vector<ProbedInterface> interfaces;
  // Index into interfaces of the device taken; empty when none was.
  std::optional<std::size_t> taken;
  // What creating the named mutex gave; empty when no matching interface came up to try it.
  std::optional<NamedMutexStatus> mutex_status;
  // The taken device's open port and the mutex (null when its creation failed).
  std::unique_ptr<HidPort> port;
  std::unique_ptr<NamedMutexHandle> mutex;
  // The request's word that another updater process is in the middle of a run.
  bool run_lock_held_elsewhere = false;
  // Two or more attached interfaces carry the identity of the device taken (or of the one
  // wanted, which is then not taken): nothing tells them apart.
  bool indistinct = false;
};

// Discovery's rule, in one place: the interfaces with the device's ids are opened in
// enumeration order, and the first whose open port reads the device's vendor and product id is
// taken together with the named mutex "QV_UPDATER". While the mutex already exists (another
// process of this system holds a device) none is taken, even when further matches follow. A
// mutex that cannot be created does not stop the take. Every port not taken is closed again.
[[nodiscard]] DeviceChoice ChooseDevice(HidBus& bus, NamedMutexSystem& mutexes,
                                        const DiscoveryRequest& request);

// Why a discovery took no device, as far as the user can act on it.
enum class DiscoveryMiss {
  kNone,          // a device was taken
  kNoDevice,      // nothing with the device's ids could be used: absent, or not set up yet
  kBusy,          // another updater process holds a device or is in the middle of a run
  kAccessDenied,  // a device is attached, but this user may not open it
  kEnumerationFailed,  // the list of attached devices could not be read at all
};

// The one rule behind both MissOf: busy while another process holds the device mutex or the
// run lock; an interface refused for lack of rights counts only when nothing else explains the
// miss; otherwise no device.
[[nodiscard]] DiscoveryMiss MissFrom(bool taken, bool mutex_held_elsewhere,
                                     bool run_lock_held_elsewhere, bool enumerated,
                                     const std::vector<ProbedInterface>& interfaces);

[[nodiscard]] DiscoveryMiss MissOf(const DeviceChoice& choice);

}  // namespace qv
