#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qv {

inline constexpr std::size_t kLayoutBlockSize = 256;
using LayoutBlock = std::array<uint8_t, kLayoutBlockSize>;

// The area layout sent by set-layout: the program, sound and map start sectors as LE16 (the
// low 16 bits of each), then 0xFF to the end.
[[nodiscard]] LayoutBlock BuildLayoutBlock(uint32_t program_sector, uint32_t sound_sector,
                                           uint32_t map_sector);

}  // namespace qv
