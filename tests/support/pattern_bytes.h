#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv::test {

// Test data that differs from byte to byte, from page to page and from seed to seed: a linear
// congruential sequence, so that a byte written to the wrong place, or one area's bytes written
// for another's, shows.
inline std::vector<uint8_t> PatternBytes(std::size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

}  // namespace qv::test
