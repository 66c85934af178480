#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/package_header.h"
#include "platform/flash_units.h"
#include "platform/random.h"
#include "platform/result.h"

namespace qv {

// Address given to an absent map area unless another one is chosen: the last address of the
// flash window, so that every valid program and sound address lies below it.
inline constexpr uint32_t kAbsentMapAddress = kFlashWindowEnd - 1;

// One area to put into a package.
struct BuildArea {
  bool present = false;
  std::vector<uint8_t> data;             // the area's bytes before padding
  std::optional<uint32_t> address;       // required for a present area
  std::array<uint8_t, 4> version_tag{};  // stored as given, first byte first
};

struct BuildInput {
  std::array<BuildArea, kAreaCount> areas;  // program, sound, map
  uint32_t scramble_count = 0;
  std::string text1;  // at most 8 bytes
  std::string text2;  // at most 10 bytes
};

// The flash addresses a package will carry, absent areas included: an absent map gets
// kAbsentMapAddress and an absent sound the address just below the map's, unless given.
[[nodiscard]] std::array<uint32_t, kAreaCount> ResolveAddresses(const BuildInput& input);

// Lays out a package file: the 1024-byte key block drawn from random, then the scrambled data,
// which is the header followed by the program, sound and map areas, each directly after the one
// before and padded with 0xFF to a whole number of KiB so that every check byte covers its own
// area. Refuses, with the reason as the failure's message, any package the updater would refuse
// or write wrongly.
[[nodiscard]] Result<std::vector<uint8_t>> BuildPackage(const BuildInput& input, Random& random);

}  // namespace qv
