#include "package/descramble.h"

#include <algorithm>
#include <cstring>

namespace qv {
namespace {

// Whole 1024-byte chunk aligned with the key: 8 bytes at a time so the compiler emits wide XORs.
void ApplyWholeChunk(uint8_t* chunk, const uint8_t* mask) {
  for (std::size_t i = 0; i < kKeyBlockSize; i += 8) {
    uint64_t d;
    uint64_t m;
    std::memcpy(&d, chunk + i, 8);
    std::memcpy(&m, mask + i, 8);
    d ^= m;
    std::memcpy(chunk + i, &d, 8);
  }
}

}  // namespace

ScrambleMask::ScrambleMask(const KeyBlock& key) {
  for (std::size_t i = 0; i < kKeyBlockSize; ++i) mask_[i] = static_cast<uint8_t>(key[i] >> 1);
}

void ScrambleMask::Apply(std::span<uint8_t> data, uint64_t data_offset) const {
  std::size_t done = 0;
  std::size_t index = static_cast<std::size_t>(data_offset % kKeyBlockSize);
  // Lead-in up to the next chunk boundary.
  if (index != 0) {
    const std::size_t lead = std::min(data.size(), kKeyBlockSize - index);
    for (; done < lead; ++done) data[done] ^= mask_[index + done];
    index = 0;
  }
  for (; done + kKeyBlockSize <= data.size(); done += kKeyBlockSize) {
    ApplyWholeChunk(data.data() + done, mask_.data());
  }
  for (std::size_t i = 0; done < data.size(); ++done, ++i) data[done] ^= mask_[i];
}

}  // namespace qv
