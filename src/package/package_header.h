#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "package/package_store.h"

namespace qv {

enum AreaIndex : int { kProgramArea = 0, kSoundArea = 1, kMapArea = 2 };
inline constexpr int kAreaCount = 3;
// The areas' names in messages, options and reports, by AreaIndex.
inline constexpr std::array<const char*, kAreaCount> kAreaNames{"program", "sound", "map"};

inline constexpr uint32_t kAbsentLength = 0xFFFFFFFFu;
inline constexpr uint32_t kFlashWindowStart = 0x40000000u;
inline constexpr uint32_t kFlashWindowEnd = 0x40800000u;  // exclusive
inline constexpr uint32_t kMaxPackageLength = 0x7F00000u;

// Lowest flash address an area may start at: the first 64 KiB hold the bookkeeping blocks.
inline constexpr uint32_t kLowestAreaAddress = 0x40010000u;

// Header layout: three 16-byte descriptors from byte 32, three check bytes from byte 80.
inline constexpr uint32_t kText1Offset = 0;
inline constexpr uint32_t kText1Size = 8;
inline constexpr uint32_t kScrambleCountOffset = 12;
inline constexpr uint32_t kText2Offset = 16;
inline constexpr uint32_t kText2Size = 10;
inline constexpr uint32_t kDescriptorOffset = 32;
inline constexpr uint32_t kDescriptorSize = 16;
inline constexpr uint32_t kCheckByteOffset = 80;

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

// The two free text fields (8 and 10 bytes), each ending at its first zero byte. The bytes are
// returned as they stand; they are not guaranteed to be valid text.
[[nodiscard]] std::string ReadHeaderText1(const std::array<uint8_t, kHeaderSize>& header);
[[nodiscard]] std::string ReadHeaderText2(const std::array<uint8_t, kHeaderSize>& header);

// The 20-byte version record field: program tag, 'S', sound tag, 'C', map tag, six zero bytes.
[[nodiscard]] std::array<uint8_t, 20> BuildVersionRecord(
    const std::array<uint8_t, kHeaderSize>& header);

// AreaLengths and AreaSums, in the order program, sound, map; 0xFFFFFFFF for an absent area.
struct AreaResults {
  std::array<uint32_t, kAreaCount> lengths{kAbsentLength, kAbsentLength, kAbsentLength};
  std::array<uint32_t, kAreaCount> sums{kAbsentLength, kAbsentLength, kAbsentLength};
};

}  // namespace qv
