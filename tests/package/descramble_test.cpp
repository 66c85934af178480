#include "package/descramble.h"

#include <gtest/gtest.h>

#include <vector>

#include "package_fixture.h"

namespace qv {
namespace {

struct ByteCase {
  uint8_t key;
  uint8_t data;
  uint8_t expected;
};

TEST(DescrambleTest, KeyByteActsShiftedRightByOne) {
  const ByteCase cases[] = {
      {0x00, 0x5A, 0x5A},                      // no mask
      {0x01, 0x5A, 0x5A},                      // the low key bit is shifted out
      {0xFF, 0x00, 0x7F},                      // the seven low bits flip
      {0xFF, 0x80, 0xFF},                      // bit 7 stays
      {0xFF, 0xFF, 0x80}, {0x80, 0x01, 0x41},  // a logical shift: 0x80 gives 0x40, not 0xC0
      {0x02, 0x00, 0x01},
  };
  for (const auto& c : cases) {
    KeyBlock key{};
    key[0] = c.key;
    uint8_t byte = c.data;
    ScrambleMask(key).Apply({&byte, 1}, 0);
    EXPECT_EQ(byte, c.expected) << "key " << int(c.key) << " data " << int(c.data);
  }
}

TEST(DescrambleTest, BitSevenNeverChanges) {
  for (int k = 0; k < 256; ++k) {
    KeyBlock key{};
    key.fill(static_cast<uint8_t>(k));
    std::vector<uint8_t> data(256);
    for (int d = 0; d < 256; ++d) data[d] = static_cast<uint8_t>(d);
    ScrambleMask(key).Apply(data, 0);
    for (int d = 0; d < 256; ++d) ASSERT_EQ(data[d] & 0x80, d & 0x80) << k << " " << d;
  }
}

TEST(DescrambleTest, KeyIndexRestartsEveryKiB) {
  KeyBlock key{};
  key[0] = 0xFE;
  std::vector<uint8_t> data(3000, 0);
  ScrambleMask(key).Apply(data, 0);
  for (std::size_t p = 0; p < data.size(); ++p) {
    EXPECT_EQ(data[p], p % 1024 == 0 ? 0x7F : 0x00) << p;
  }
}

// Pieces of any size at any data offset give the same bytes as the rule applied byte by byte,
// which is how the loader descrambles reads of varying length in place.
TEST(DescrambleTest, PiecesAtAnyOffsetMatchTheByteRule) {
  const std::vector<uint8_t> key_bytes = test::PatternBytes(1024, 7);
  KeyBlock key{};
  std::copy(key_bytes.begin(), key_bytes.end(), key.begin());
  const std::vector<uint8_t> plain = test::PatternBytes(5000, 9);
  const std::vector<uint8_t> file = test::ScrambledFile(key_bytes, plain);

  const std::size_t splits[][3] = {
      {0, 5000, 5000}, {1, 1023, 5000}, {700, 2100, 4097}, {1024, 2048, 3072}, {5, 6, 7}};
  for (const auto& split : splits) {
    std::vector<uint8_t> data(file.begin() + 1024, file.end());
    const ScrambleMask mask(key);
    std::size_t from = 0;
    for (std::size_t to : split) {
      mask.Apply({data.data() + from, to - from}, from);
      from = to;
    }
    mask.Apply({data.data() + from, data.size() - from}, from);
    EXPECT_EQ(data, plain) << "split at " << split[0] << "," << split[1] << "," << split[2];
  }
}

}  // namespace
}  // namespace qv
