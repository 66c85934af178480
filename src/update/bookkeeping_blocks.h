#pragma once

#include <array>
#include <cstdint>

#include "package/package_header.h"
#include "platform/flash_units.h"
#include "platform/random.h"

namespace qv {

// The two one-page blocks written after the areas: the check-code block (sector 10, page 160)
// with the sound and map lengths and sums, and the info block (sector 8, page 128) with the
// program length and sum and the sound and map addresses. Their masking words are random, and
// each masked value travels with the words that mask it.
inline constexpr uint32_t kBlockBufferSize = kKiB;  // only the first page is written
inline constexpr uint32_t kCheckCodeSector = 10;
inline constexpr uint32_t kCheckCodePage = 160;
inline constexpr uint32_t kInfoSector = 8;
inline constexpr uint32_t kInfoPage = 128;

using BlockBuffer = std::array<uint8_t, kBlockBufferSize>;

// (r1 * 65536) + (r2 mod 65536) from two successive generator values.
[[nodiscard]] uint32_t NextRandomWord(Random& random);

// Fills the buffer with 0xFF and builds the check-code block; the generator must have been
// seeded just before.
void BuildCheckCodeBlock(const AreaResults& results, Random& random, BlockBuffer& block);

// Fills the buffer with 0xFF and builds the info block from the results and the header copy's
// sound and map addresses (taken as they stand, present or not).
void BuildInfoBlock(const AreaResults& results, uint32_t sound_address, uint32_t map_address,
                    Random& random, BlockBuffer& block);

}  // namespace qv
