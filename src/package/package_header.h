#pragma once

#include <array>
#include <cstdint>

#include "package/package_store.h"

namespace qv {

enum AreaIndex : int { kProgramArea = 0, kSoundArea = 1, kMapArea = 2 };
inline constexpr int kAreaCount = 3;

inline constexpr uint32_t kAbsentLength = 0xFFFFFFFFu;
inline constexpr uint32_t kFlashWindowStart = 0x40000000u;
inline constexpr uint32_t kFlashWindowEnd = 0x40800000u;  // exclusive
inline constexpr uint32_t kMaxPackageLength = 0x7F00000u;

// One area descriptor read from a 128-byte header (offset, length, flash address, version tag)
// together with the area's check byte.
struct AreaDescriptor {
  uint32_t offset = 0;
  uint32_t length = kAbsentLength;
  uint32_t address = 0;
  std::array<uint8_t, 4> version_tag{};
  uint8_t check_byte = 0;

  [[nodiscard]] bool present() const { return length != kAbsentLength; }
};

// Field access on a 128-byte header (normally the store's header copy).
[[nodiscard]] AreaDescriptor ReadAreaDescriptor(const std::array<uint8_t, kHeaderSize>& header,
                                                AreaIndex area);
[[nodiscard]] uint32_t ReadScrambleCount(const std::array<uint8_t, kHeaderSize>& header);

// AreaLengths and AreaSums, in the order program, sound, map; 0xFFFFFFFF for an absent area.
struct AreaResults {
  std::array<uint32_t, kAreaCount> lengths{kAbsentLength, kAbsentLength, kAbsentLength};
  std::array<uint32_t, kAreaCount> sums{kAbsentLength, kAbsentLength, kAbsentLength};
};

}  // namespace qv
