#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// The byte-sum checksum of command frames and package blocks: the sum of the bytes, each taken
// as 0..255, in unsigned 32-bit arithmetic, then XOR 0x416.
[[nodiscard]] uint32_t ByteSumChecksum(const uint8_t* data, std::size_t size);

}  // namespace qv
