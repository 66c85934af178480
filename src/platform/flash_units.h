#pragma once

#include <cstdint>

namespace qv {

// The units of the device's flash and of the package, shared by the package builder and checks,
// the device commands and the update procedure.
inline constexpr uint32_t kFlashPageSize = 256;     // the write unit
inline constexpr uint32_t kFlashSectorSize = 4096;  // the erase unit
// One KiB: a progress step, and the block each check byte covers and areas are padded to.
inline constexpr uint32_t kKiB = 1024;

}  // namespace qv
