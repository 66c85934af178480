#include "update/bookkeeping_blocks.h"

#include <gtest/gtest.h>

#include "platform/little_endian.h"

namespace qv {
namespace {

uint32_t Word(const BlockBuffer& block, int index) {
  return LoadLe32(block.data() + 4 * index);
}

// Yields 1, 2, 3, ... so every random word is predictable.
class CountingRandom final : public Random {
 public:
  void Seed(uint32_t seed) override { next_ = seed; }
  [[nodiscard]] uint32_t Next() override { return next_++ & 0x7FFF; }

 private:
  uint32_t next_ = 0;
};

AreaResults SampleResults() {
  AreaResults results;
  results.lengths = {0x12345, 0x80000, 0x100100};
  results.sums = {0xDEADBEEF, 0x0BADF00D, 0x00C0FFEE};
  return results;
}

TEST(RandomWord, CombinesTwoDraws) {
  RuntimeRandom random;
  random.Seed(7);
  RuntimeRandom reference;
  reference.Seed(7);
  const uint32_t high = reference.Next();
  const uint32_t low = reference.Next();
  EXPECT_EQ(NextRandomWord(random), high * 65536 + low);
  CountingRandom counting;
  counting.Seed(0x7FFF);
  EXPECT_EQ(NextRandomWord(counting), 0x7FFF0000u);  // draws 0x7FFF then 0
}

TEST(CheckCodeBlock, MasksLengthsAndSumsWithItsOwnWords) {
  RuntimeRandom random;
  random.Seed(123456);
  BlockBuffer block;
  block.fill(0);
  const AreaResults results = SampleResults();
  BuildCheckCodeBlock(results, random, block);

  RuntimeRandom reference;
  reference.Seed(123456);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(Word(block, 4 + i), NextRandomWord(reference)) << i;
  const uint32_t r2 = Word(block, 6), r3 = Word(block, 7);
  EXPECT_EQ(Word(block, 0) ^ r3, results.lengths[kSoundArea]);
  EXPECT_EQ(Word(block, 1) ^ r2, results.sums[kSoundArea]);
  EXPECT_EQ(Word(block, 2) ^ r2, results.lengths[kMapArea]);
  EXPECT_EQ(Word(block, 3) ^ r3, results.sums[kMapArea]);
  for (int i = 16; i < 256; ++i) EXPECT_EQ(Word(block, i), 0xFFFFFFFFu) << i;
}

TEST(CheckCodeBlock, AbsentAreasAreAllOnesUnderTheMask) {
  CountingRandom random;
  random.Seed(1);
  BlockBuffer block;
  BuildCheckCodeBlock(AreaResults{}, random, block);
  for (int i = 0; i < 4; ++i) {
    const uint32_t mask = i == 0 || i == 3 ? Word(block, 7) : Word(block, 6);
    EXPECT_EQ(Word(block, i), 0xFFFFFFFFu ^ mask) << i;
  }
}

TEST(InfoBlock, HoldsConstantsProgramResultsAndMaskedAddresses) {
  RuntimeRandom random;
  random.Seed(98765);
  BlockBuffer block;
  block.fill(0);
  const AreaResults results = SampleResults();
  BuildInfoBlock(results, 0x40200000, 0x40400000, random, block);

  const uint32_t expected_head[] = {0x86017618, 0x38,    0x00130000, 0x40010000,
                                    0x40010000, 0x12345, 0x00100003, 0xDEADBEEF};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Word(block, i), expected_head[i]) << i;
  uint32_t s[6];
  for (int i = 0; i < 6; ++i) s[i] = Word(block, 10 + i);
  EXPECT_EQ(Word(block, 8) ^ s[4] ^ s[1] ^ s[0], 0x40200000u);
  EXPECT_EQ(Word(block, 9) ^ s[5] ^ s[3] ^ s[2] ^ s[0], 0x40400000u);

  // S0..S5 and the 48 further words come from one seeding, in order.
  RuntimeRandom reference;
  reference.Seed(98765);
  for (int i = 10; i < 64; ++i) EXPECT_EQ(Word(block, i), NextRandomWord(reference)) << i;
  for (int i = 64; i < 256; ++i) EXPECT_EQ(Word(block, i), 0xFFFFFFFFu) << i;
}

}  // namespace
}  // namespace qv
