#pragma once

#include <array>
#include <cstdint>

#include "sim/sim_device.h"

namespace qv::sim {

// The 64-byte payload the device sends in answer to a query: the version bytes 0..13, the four
// flash id characters at L-5..L-2 (those that fall inside bytes 0..62), the length byte L at
// byte 63, 0xFF everywhere else; or the configured raw answer as it stands.
[[nodiscard]] std::array<uint8_t, 64> SimQueryAnswer(const SimDeviceConfig& config);

}  // namespace qv::sim
