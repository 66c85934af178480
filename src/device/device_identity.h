#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/hid_bus.h"

namespace qv {

// Who a device is, as far as the system can tell. Where the system names the USB port it is
// plugged into, the port alone is the device: its interfaces all sit there, and it stays there
// when it resets into its update mode, where it may report another serial number or none. Only
// where no port is known does the serial number stand for the device. The path is never part
// of it: it may change across a reset.
struct DeviceIdentity {
  std::string usb_port;
  std::string serial_number;  // empty whenever a port is known
  // The interface someone chose (--device PATH): taken first among the device's entries, before
  // and after the reset, when it is there. Empty: the first entry in enumeration order.
  std::string preferred_path;
  int preferred_interface = -1;
  uint16_t preferred_usage_page = 0;

  // The device an enumerated entry belongs to.
  [[nodiscard]] static DeviceIdentity Of(const HidInterfaceInfo& info);
  // The same, keeping to the entry's own interface.
  [[nodiscard]] static DeviceIdentity OfInterface(const HidInterfaceInfo& info);
  // Whether the entry is an interface of this device: the same port where one is known, else no
  // port and the same serial number (a missing one counting as a value of its own).
  [[nodiscard]] bool Matches(const HidInterfaceInfo& info) const;
  // Whether the entry is the chosen interface.
  [[nodiscard]] bool Prefers(const HidInterfaceInfo& info) const;
  // Whether a port or a serial number is known at all.
  [[nodiscard]] bool Known() const { return !usb_port.empty() || !serial_number.empty(); }
  // "port 1-2.3", "serial SIM1" or "no port or serial".
  [[nodiscard]] std::string Text() const;

  auto operator<=>(const DeviceIdentity&) const = default;
};

// How many of the attached interfaces belong to the device.
[[nodiscard]] std::size_t CountMatching(const DeviceIdentity& identity,
                                        const std::vector<HidInterfaceInfo>& attached);

// Whether nothing tells the device apart from another one: no port is known and two or more
// attached entries carry its serial number (or lack one alike). They may be two devices or the
// interfaces of one; either way a run that reset one could not know which to write afterwards,
// so it is refused. Entries that share a known port are the interfaces of one device and never
// ambiguous. A device without port and serial that is the only such entry is not ambiguous: it
// is found again as the one device of its kind.
[[nodiscard]] bool Indistinct(const DeviceIdentity& identity,
                              const std::vector<HidInterfaceInfo>& attached);

// The identities that two or more attached entries share without a port, each once, in
// enumeration order.
[[nodiscard]] std::vector<DeviceIdentity> IndistinctIdentities(
    const std::vector<HidInterfaceInfo>& attached);

// Why a run that would reset one of several indistinct devices refuses to start.
inline constexpr const char* kIndistinctDevicesText =
    "Two or more attached devices cannot be told apart (no USB port or serial number "
    "distinguishes them), so the updater cannot be sure to find the right one again after its "
    "reset. Attach one device at a time and try again.";

}  // namespace qv
