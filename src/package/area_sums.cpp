#include <algorithm>
#include <cstring>

#include "package/package_checks.h"
#include "package/package_map.h"
#include "platform/byte_sum.h"
#include "platform/flash_units.h"
#include "platform/little_endian.h"

namespace qv {
namespace {

// The sound and map sums add one checksum per flash page.
constexpr uint32_t kSumBlock = kFlashPageSize;

// A buffer read with every byte beyond its end taken as 0xFF, the value the store fills its
// unread tails with, so no sum can read outside the buffer whatever the header says.
struct PaddedBytes {
  const uint8_t* data;
  uint64_t size;

  // Copies n bytes from position at into out.
  void Copy(uint64_t at, uint8_t* out, uint64_t n) const {
    const uint64_t inside = at < size ? std::min(n, size - at) : 0;
    if (inside > 0) std::memcpy(out, data + at, inside);
    std::memset(out + inside, 0xFF, n - inside);
  }
};

uint32_t ProgramSum(const PaddedBytes& bytes, uint32_t offset, uint32_t length) {
  const uint64_t words = length / 4;
  uint32_t total = 0;
  uint64_t i = 0;
  if (offset < bytes.size) {
    const uint64_t inside = std::min(words, (bytes.size - offset) / 4);
    const uint8_t* p = bytes.data + offset;
    for (; i < inside; ++i) total += LoadLe32(p + 4 * i);
  }
  // At most one word straddles the end of the buffer; every word after it is all 0xFF.
  if (i < words && uint64_t{offset} + 4 * i < bytes.size) {
    uint8_t word[4];
    bytes.Copy(uint64_t{offset} + 4 * i, word, 4);
    total += LoadLe32(word);
    ++i;
  }
  total += static_cast<uint32_t>(words - i) * 0xFFFFFFFFu;
  return 0u - total;
}

// Block checksums of whole 256-byte blocks for b < length; the last block is taken whole.
uint32_t BlockSum(const PaddedBytes& bytes, uint64_t offset, uint64_t length) {
  const uint64_t blocks = (length + kSumBlock - 1) / kSumBlock;
  uint32_t total = 0;
  uint64_t k = 0;
  for (; k < blocks && offset + k * kSumBlock < bytes.size; ++k) {
    const uint64_t at = offset + k * kSumBlock;
    if (at + kSumBlock <= bytes.size) {
      total += ByteSumChecksum(bytes.data + at, kSumBlock);
    } else {
      uint8_t block[kSumBlock];
      bytes.Copy(at, block, kSumBlock);
      total += ByteSumChecksum(block, kSumBlock);
    }
  }
  // Blocks wholly beyond the buffer are all 0xFF.
  constexpr uint32_t kErasedBlock = (0xFFu * kSumBlock) ^ kByteSumXor;
  total += static_cast<uint32_t>(blocks - k) * kErasedBlock;
  return total;
}

}  // namespace

void ComputeAreaSums(const PackageStore& store, AreaResults& results) {
  const PaddedBytes image{store.image.get(), store.image ? store.image_size : 0u};
  const PaddedBytes map_buffer{store.map_buffer.get(),
                               store.map_buffer ? store.map_buffer_size : 0u};
  const AreaDescriptor program = ReadAreaDescriptor(store.header_copy, kProgramArea);
  const AreaDescriptor sound = ReadAreaDescriptor(store.header_copy, kSoundArea);
  const AreaDescriptor map = ReadAreaDescriptor(store.header_copy, kMapArea);

  results.lengths[kProgramArea] = program.length;
  results.sums[kProgramArea] = ProgramSum(image, program.offset, program.length);

  results.lengths[kSoundArea] = sound.length;
  results.sums[kSoundArea] =
      sound.present() ? BlockSum(image, sound.offset, sound.length) : kAbsentLength;

  if (map.present()) {
    results.lengths[kMapArea] = map.length + kMapPrefixSize;
    results.sums[kMapArea] = BlockSum(map_buffer, 0, uint64_t{map.length} + kMapPrefixSize);
  } else {
    results.lengths[kMapArea] = kAbsentLength;
    results.sums[kMapArea] = kAbsentLength;
  }
}

}  // namespace qv
