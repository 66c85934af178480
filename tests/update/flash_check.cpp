#include "flash_check.h"

#include <gtest/gtest.h>

#include <array>

namespace qv::test {
namespace {

constexpr uint32_t kWindow = 0x40000000;
constexpr uint32_t kAbsent = 0xFFFFFFFF;

uint32_t Le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}

std::array<uint8_t, 16> KeyFromPrefix(const uint8_t* r) {
  std::array<uint8_t, 16> k{};
  k[0] = r[5] - r[15];
  k[1] = r[19] - r[23];
  k[2] = r[106] * 4;
  k[3] = r[101];
  k[4] = r[108] + k[2];
  k[5] = static_cast<uint8_t>((r[113] + r[114]) / 2);
  k[6] = r[97] ^ r[111];
  k[7] = r[115];
  k[8] = r[99] + 33;
  k[9] = r[104];
  k[10] = r[112] - k[1];
  k[11] = r[6];
  k[12] = r[13] >> 1;
  k[13] = r[21];
  k[14] = r[24] - k[0];
  k[15] = r[96] + k[6];
  return k;
}

// Sum of (byte sum of each 256-byte block, XOR 0x416), over whole blocks covering length.
uint32_t BlockSum(const uint8_t* data, uint32_t length) {
  uint32_t total = 0;
  for (uint32_t b = 0; b < length; b += 256) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < 256; ++i) sum += data[b + i];
    total += sum ^ 0x416;
  }
  return total;
}

uint32_t ProgramSum(const std::vector<uint8_t>& program) {
  uint32_t total = 0;
  for (std::size_t i = 0; i + 4 <= program.size(); i += 4) total += Le32(program.data() + i);
  return 0u - total;
}

void ExpectBytes(const std::vector<uint8_t>& flash, uint32_t address,
                 const std::vector<uint8_t>& expected, const char* what) {
  const uint32_t start = address - kWindow;
  ASSERT_LE(start + expected.size(), flash.size()) << what;
  const auto mismatch = std::mismatch(expected.begin(), expected.end(), flash.begin() + start);
  EXPECT_TRUE(mismatch.first == expected.end())
      << what << " differs at byte " << (mismatch.first - expected.begin());
}

}  // namespace

void ExpectFlashHoldsPackage(const std::vector<uint8_t>& flash, const FixturePackage& package) {
  ASSERT_EQ(flash.size(), 0x800000u);
  ASSERT_TRUE(package.program.has_value());
  ExpectBytes(flash, package.program->address, package.program->data, "program");
  uint32_t sound_length = kAbsent, sound_sum = kAbsent, map_length = kAbsent, map_sum = kAbsent;
  if (package.sound) {
    ExpectBytes(flash, package.sound->address, package.sound->data, "sound");
    sound_length = package.sound->data.size();
    // The last block of a partial page is summed whole; the flash holds the erased value there.
    std::vector<uint8_t> padded = package.sound->data;
    padded.resize((padded.size() + 255) / 256 * 256, 0xFF);
    sound_sum = BlockSum(padded.data(), sound_length);
  }
  if (package.map) {
    const uint8_t* prefix = flash.data() + (package.map->address - kWindow);
    const std::array<uint8_t, 16> key = KeyFromPrefix(prefix);
    std::vector<uint8_t> scrambled = package.map->data;
    const uint32_t count = std::min<uint32_t>(package.scramble_count, scrambled.size());
    for (uint32_t i = 0; i < count; ++i) scrambled[i] ^= key[i % 16];
    ExpectBytes(flash, package.map->address + 256, scrambled, "map");
    map_length = scrambled.size() + 256;
    std::vector<uint8_t> buffer(prefix, prefix + 256);
    buffer.insert(buffer.end(), scrambled.begin(), scrambled.end());
    buffer.resize((buffer.size() + 255) / 256 * 256, 0xFF);
    map_sum = BlockSum(buffer.data(), map_length);
  }

  const uint8_t* check = flash.data() + 0xA000;
  const uint32_t r2 = Le32(check + 4 * 6), r3 = Le32(check + 4 * 7);
  EXPECT_EQ(Le32(check) ^ r3, sound_length);
  EXPECT_EQ(Le32(check + 4) ^ r2, sound_sum);
  EXPECT_EQ(Le32(check + 8) ^ r2, map_length);
  EXPECT_EQ(Le32(check + 12) ^ r3, map_sum);
  for (uint32_t i = 64; i < 256; ++i) EXPECT_EQ(check[i], 0xFF) << "check-code byte " << i;

  const uint8_t* info = flash.data() + 0x8000;
  const uint32_t head[] = {0x86017618, 0x38, 0x00130000, 0x40010000, 0x40010000};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Le32(info + 4 * i), head[i]) << "info word " << i;
  EXPECT_EQ(Le32(info + 20), package.program->data.size());
  EXPECT_EQ(Le32(info + 24), 0x00100003u);
  EXPECT_EQ(Le32(info + 28), ProgramSum(package.program->data));
  uint32_t s[6];
  for (int i = 0; i < 6; ++i) s[i] = Le32(info + 40 + 4 * i);
  const uint32_t sound_address =
      package.sound ? package.sound->address : package.absent_sound_address;
  const uint32_t map_address = package.map ? package.map->address : package.absent_map_address;
  EXPECT_EQ(Le32(info + 32) ^ s[4] ^ s[1] ^ s[0], sound_address);
  EXPECT_EQ(Le32(info + 36) ^ s[5] ^ s[3] ^ s[2] ^ s[0], map_address);
}

}  // namespace qv::test
