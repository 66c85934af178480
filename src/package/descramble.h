#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qv {

inline constexpr std::size_t kKeyBlockSize = 1024;
using KeyBlock = std::array<uint8_t, kKeyBlockSize>;

// The per-position XOR mask of a key block: every key byte shifted right by one bit, so bit 7 of
// a data byte is never changed.
class ScrambleMask {
 public:
  explicit ScrambleMask(const KeyBlock& key);

  // XORs data in place, where data[0] is package data byte number data_offset. The rule is its
  // own inverse, so it scrambles and descrambles alike.
  void Apply(std::span<uint8_t> data, uint64_t data_offset) const;

 private:
  alignas(64) std::array<uint8_t, kKeyBlockSize> mask_{};
};

}  // namespace qv
