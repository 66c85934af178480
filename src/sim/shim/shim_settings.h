#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace qv::sim::shim {

// What the QVSIM_ environment variables ask for.
struct ShimSettings {
  uint32_t devices = 1;    // devices plugged in at start
  SimDeviceConfig device;  // the configuration of every device the stand-in plugs
  // Serial numbers of devices 1, 2, ... in plug order, in place of device.serial_number ("":
  // none); devices past the list keep device.serial_number.
  std::vector<std::string> serials;
  bool ports = false;      // device N is plugged into USB port "1-N"
  std::string dir;         // where flash images, traces and event logs go; empty: nowhere
  std::string control;     // the control file; empty: none
  std::vector<std::string> warnings;  // variables that could not be used, one text each
};

// Reads the settings through `lookup` (getenv in the stand-in, a table in tests). A variable
// that cannot be parsed keeps its default and adds a warning.
[[nodiscard]] ShimSettings ReadShimSettings(const char* (*lookup)(const char* name));

// Fills in what differs from device to device (serial number, port) for device `number`. A
// configuration that has a port keeps it (a device swapped into another's socket).
void FillPerDevice(const ShimSettings& settings, uint32_t number, SimDeviceConfig& config);

// Parses up to `max_bytes` bytes written as hexadecimal digit pairs (spaces allowed between
// pairs). False on any other character or an odd digit count.
[[nodiscard]] bool ParseHexBytes(const std::string& text, std::size_t max_bytes,
                                 std::vector<uint8_t>& out);
// Parses a decimal or 0x-prefixed hexadecimal number no larger than `max`.
[[nodiscard]] bool ParseNumber(const std::string& text, uint64_t max, uint64_t& out);

}  // namespace qv::sim::shim
