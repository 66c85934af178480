#include "sim/sim_flash.h"

#include <algorithm>
#include <cstdio>

namespace qv::sim {

SimFlash::SimFlash() : bytes_(kSimFlashSize, 0xFF) {}

bool SimFlash::InWindow(uint64_t offset, uint64_t size) {
  return offset <= kSimFlashSize && size <= kSimFlashSize - offset;
}

std::string SimFlash::EraseSectors(uint32_t start, uint32_t count) {
  const uint64_t offset = static_cast<uint64_t>(start) * kSimSectorSize;
  const uint64_t size = static_cast<uint64_t>(count) * kSimSectorSize;
  if (!InWindow(offset, size)) {
    char text[96];
    std::snprintf(text, sizeof text, "erase of sectors %u..+%u outside the flash window",
                  static_cast<unsigned>(start), static_cast<unsigned>(count));
    return text;
  }
  std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset),
              static_cast<std::ptrdiff_t>(size), uint8_t{0xFF});
  return {};
}

SimFlash::ProgramOutcome SimFlash::Program(uint32_t offset, const uint8_t* data, std::size_t size) {
  ProgramOutcome outcome;
  for (std::size_t i = 0; i < size; ++i) {
    uint8_t& cell = bytes_[offset + i];
    if (cell != 0xFF) {
      if (outcome.unerased == 0) outcome.first_unerased = static_cast<uint32_t>(offset + i);
      ++outcome.unerased;
    }
    cell &= data[i];
  }
  return outcome;
}

}  // namespace qv::sim
