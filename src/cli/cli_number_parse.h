#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qv::cli {

// A 32-bit number written in decimal or, with a 0x prefix, in hex; nullopt when it is not one.
[[nodiscard]] std::optional<uint32_t> ParseUint32(std::string_view text);

// A version tag of exactly 8 hex digits, the 4 bytes in the order they are stored.
[[nodiscard]] std::optional<std::array<uint8_t, 4>> ParseVersionTag(std::string_view text);

}  // namespace qv::cli
