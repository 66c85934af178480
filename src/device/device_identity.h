#pragma once

#include <compare>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/hid_bus.h"

namespace qv {

// Who a device is, as far as the system can tell: where it is plugged (its USB port) and its
// serial number, each empty when unknown. Both stay the same when the device resets and comes
// back, where its path may change. The path is not part of it for that reason.
struct DeviceIdentity {
  std::string usb_port;
  std::string serial_number;

  [[nodiscard]] static DeviceIdentity Of(const HidInterfaceInfo& info);
  // The same port and the same serial number, an unknown one counting as a value of its own: a
  // device that comes back in the same port with another serial number, or with one where the
  // reset device had none, is another device.
  [[nodiscard]] bool Matches(const HidInterfaceInfo& info) const;
  // Whether a port or a serial number is known at all.
  [[nodiscard]] bool Known() const { return !usb_port.empty() || !serial_number.empty(); }
  // "port 1-2.3, serial A1B2", "port 1-2.3", "serial SIM1" or "no port or serial".
  [[nodiscard]] std::string Text() const;

  auto operator<=>(const DeviceIdentity&) const = default;
};

// How many of the attached interfaces carry the identity.
[[nodiscard]] std::size_t CountMatching(const DeviceIdentity& identity,
                                        const std::vector<HidInterfaceInfo>& attached);

// Whether two or more attached interfaces carry the identity, so that nothing tells the device
// meant apart from another one. Resetting one of them is refused: after the reset the run could
// not know which one to write. A device without port and serial that is the only such one is
// not ambiguous: it is found again as the one device of its kind.
[[nodiscard]] bool Indistinct(const DeviceIdentity& identity,
                              const std::vector<HidInterfaceInfo>& attached);

// The identities that two or more attached interfaces share, each once, in enumeration order.
[[nodiscard]] std::vector<DeviceIdentity> IndistinctIdentities(
    const std::vector<HidInterfaceInfo>& attached);

// Why a run that would reset one of several indistinct devices refuses to start.
inline constexpr const char* kIndistinctDevicesText =
    "Two or more attached devices cannot be told apart (no USB port or serial number "
    "distinguishes them), so the updater cannot be sure to find the right one again after its "
    "reset. Attach one device at a time and try again.";

}  // namespace qv
