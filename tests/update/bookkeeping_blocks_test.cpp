#include "update/bookkeeping_blocks.h"

#include <gtest/gtest.h>

#include "platform/little_endian.h"

namespace qv {
namespace {

uint32_t Word(const BlockBuffer& block, int index) {
  return LoadLe32(block.data() + 4 * index);
}

// Yields the seed, seed + 1, ... (within 0..32767) so every random word is known in advance:
// seeded with 1, the n-th word (from 0) is (2n + 1) * 65536 + (2n + 2).
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
  CountingRandom counting;
  counting.Seed(0x1234);
  EXPECT_EQ(NextRandomWord(counting), 0x12341235u);
  counting.Seed(0x7FFF);
  EXPECT_EQ(NextRandomWord(counting), 0x7FFF0000u);  // draws 0x7FFF then 0
  RuntimeRandom runtime;
  runtime.Seed(1);
  EXPECT_EQ(NextRandomWord(runtime), 0x00294823u);  // the runtime generator's draws 41, 18467
}

TEST(CheckCodeBlock, MasksLengthsAndSumsWithItsOwnWords) {
  CountingRandom random;
  random.Seed(1);
  BlockBuffer block;
  block.fill(0);
  BuildCheckCodeBlock(SampleResults(), random, block);

  const uint32_t expected[16] = {
      0x000F0008, 0x0BA8F00B, 0x00150106, 0x00C7FFE6,  // sound length ^ R3, sound sum ^ R2,
                                                       // map length ^ R2, map sum ^ R3
      0x00010002, 0x00030004, 0x00050006, 0x00070008, 0x0009000A, 0x000B000C,  // R0..R5
      0x000D000E, 0x000F0010, 0x00110012, 0x00130014, 0x00150016, 0x00170018,  // R6..R11
  };
  for (int i = 0; i < 16; ++i) EXPECT_EQ(Word(block, i), expected[i]) << i;
  for (int i = 16; i < 256; ++i) EXPECT_EQ(Word(block, i), 0xFFFFFFFFu) << i;
}

TEST(CheckCodeBlock, AbsentAreasAreAllOnesUnderTheMask) {
  CountingRandom random;
  random.Seed(1);
  BlockBuffer block;
  BuildCheckCodeBlock(AreaResults{}, random, block);
  const uint32_t expected[4] = {0xFFF8FFF7, 0xFFFAFFF9, 0xFFFAFFF9, 0xFFF8FFF7};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Word(block, i), expected[i]) << i;
}

TEST(InfoBlock, HoldsConstantsProgramResultsAndMaskedAddresses) {
  CountingRandom random;
  random.Seed(1);
  BlockBuffer block;
  block.fill(0);
  BuildInfoBlock(SampleResults(), 0x40200000, 0x40400000, random, block);

  const uint32_t expected[16] = {
      0x86017618, 0x38, 0x00130000, 0x40010000, 0x40010000,
      0x12345,     // program length
      0x00100003,
      0xDEADBEEF,  // program sum
      0x402B000C,  // sound address ^ S4 ^ S1 ^ S0
      0x40480000,  // map address ^ S5 ^ S3 ^ S2 ^ S0
      0x00010002, 0x00030004, 0x00050006, 0x00070008, 0x0009000A, 0x000B000C,  // S0..S5
  };
  for (int i = 0; i < 16; ++i) EXPECT_EQ(Word(block, i), expected[i]) << i;
  // The 48 further words follow S0..S5 from the same seeding.
  EXPECT_EQ(Word(block, 16), 0x000D000Eu);
  EXPECT_EQ(Word(block, 63), 0x006B006Cu);
  for (int i = 64; i < 256; ++i) EXPECT_EQ(Word(block, i), 0xFFFFFFFFu) << i;
}

}  // namespace
}  // namespace qv
