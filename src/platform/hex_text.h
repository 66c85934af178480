#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qv {

// "0x" and at least 8 lower-case hex digits: flash addresses, lengths and sums in messages and
// reports.
[[nodiscard]] std::string HexNumber(uint64_t value);

// Two lower-case hex digits per byte, no separators: version tags, records and key bytes.
[[nodiscard]] std::string HexBytes(std::span<const uint8_t> bytes);

// Four upper-case hex digits, the way USB vendor and product ids are written ("0416").
[[nodiscard]] std::string HexUsbId(uint16_t id);

}  // namespace qv
