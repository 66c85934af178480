#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// What the byte sum is XORed with.
inline constexpr uint32_t kByteSumXor = 0x416;

// The byte-sum checksum of command frames and of the 256-byte blocks of the package's sound
// and map sums: the sum of the bytes, each taken as 0..255, in unsigned 32-bit arithmetic, then
// XOR kByteSumXor.
[[nodiscard]] uint32_t ByteSumChecksum(const uint8_t* data, std::size_t size);

}  // namespace qv
