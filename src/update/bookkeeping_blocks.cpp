#include "update/bookkeeping_blocks.h"

#include "platform/little_endian.h"

namespace qv {
namespace {

void StoreWord(BlockBuffer& block, int index, uint32_t value) {
  StoreLe32(block.data() + 4 * index, value);
}

}  // namespace

uint32_t NextRandomWord(Random& random) {
  const uint32_t high = random.Next();
  const uint32_t low = random.Next();
  return (high << 16) + (low & 0xFFFFu);
}

void BuildCheckCodeBlock(const AreaResults& results, Random& random, BlockBuffer& block) {
  block.fill(0xFF);
  std::array<uint32_t, 12> r{};
  for (uint32_t& word : r) word = NextRandomWord(random);
  StoreWord(block, 0, results.lengths[kSoundArea] ^ r[3]);
  StoreWord(block, 1, results.sums[kSoundArea] ^ r[2]);
  StoreWord(block, 2, results.lengths[kMapArea] ^ r[2]);
  StoreWord(block, 3, results.sums[kMapArea] ^ r[3]);
  for (int i = 0; i < 12; ++i) StoreWord(block, 4 + i, r[i]);
}

void BuildInfoBlock(const AreaResults& results, uint32_t sound_address, uint32_t map_address,
                    Random& random, BlockBuffer& block) {
  block.fill(0xFF);
  std::array<uint32_t, 6> s{};
  for (uint32_t& word : s) word = NextRandomWord(random);
  StoreWord(block, 0, 0x86017618u);
  StoreWord(block, 1, 0x38u);
  StoreWord(block, 2, 0x00130000u);
  StoreWord(block, 3, 0x40010000u);
  StoreWord(block, 4, 0x40010000u);
  StoreWord(block, 5, results.lengths[kProgramArea]);
  StoreWord(block, 6, 0x00100003u);
  StoreWord(block, 7, results.sums[kProgramArea]);
  StoreWord(block, 8, sound_address ^ s[4] ^ s[1] ^ s[0]);
  StoreWord(block, 9, map_address ^ s[5] ^ s[3] ^ s[2] ^ s[0]);
  for (int i = 0; i < 6; ++i) StoreWord(block, 10 + i, s[i]);
  for (int i = 16; i < 64; ++i) StoreWord(block, i, NextRandomWord(random));
}

}  // namespace qv
