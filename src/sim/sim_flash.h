#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace qv::sim {

// The device's 8 MiB flash window as NOR flash: erasing sets whole 4 KiB sectors to 0xFF,
// programming can only clear bits. Offsets are relative to the window (0 = 0x40000000).
// Not thread-safe; the device model guards it.
class SimFlash {
 public:
  SimFlash();

  // Erases `count` sectors from `start`. Returns an empty string, or the fault when any of them
  // lies outside the window (nothing is erased then).
  [[nodiscard]] std::string EraseSectors(uint32_t start, uint32_t count);

  struct ProgramOutcome {
    uint32_t unerased = 0;        // bytes programmed whose old value was not 0xFF
    uint32_t first_unerased = 0;  // window offset of the first of them
  };
  // Programs `size` bytes at `offset` (new = old & data). The caller has checked the range.
  ProgramOutcome Program(uint32_t offset, const uint8_t* data, std::size_t size);

  // True when [offset, offset + size) lies inside the window.
  [[nodiscard]] static bool InWindow(uint64_t offset, uint64_t size);

  [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace qv::sim
