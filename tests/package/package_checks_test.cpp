#include "package/package_checks.h"

#include <gtest/gtest.h>

#include "package/package_messages.h"
#include "package_fixture.h"
#include "recording_dialogs.h"

namespace qv {
namespace {

using test::SetArea;

// A valid layout: program at 128 (2 KiB), sound after it (1 KiB), map after that (1 KiB).
std::vector<uint8_t> ValidData() {
  std::vector<uint8_t> data = test::EmptyPackageData(128 + 4096);
  SetArea(data, kProgramArea, 128, 2048, 0x40010000u);
  SetArea(data, kSoundArea, 128 + 2048, 1024, 0x40100000u);
  SetArea(data, kMapArea, 128 + 3072, 1024, 0x40200000u);
  return data;
}

struct ValidateCase {
  const char* name;
  std::function<void(std::vector<uint8_t>&)> change;
  const char* message;  // nullptr: passes
};

TEST(ValidatePackageTest, HeaderRulesInOrder) {
  const auto area = [](AreaIndex a, uint32_t offset, uint32_t length, uint32_t address) {
    return [=](std::vector<uint8_t>& d) { SetArea(d, a, offset, length, address); };
  };
  const ValidateCase cases[] = {
      {"valid", [](auto&) {}, nullptr},
      {"program at the lowest address", area(kProgramArea, 128, 2048, 0x40010000u), nullptr},
      {"program below the lowest address", area(kProgramArea, 128, 2048, 0x4000FFFFu), kMsgAddress},
      {"map at the last address", area(kMapArea, 3200, 1024, 0x407FFFFFu), nullptr},
      {"map at the window end", area(kMapArea, 3200, 1024, 0x40800000u), kMsgAddress},
      {"program equals sound", area(kSoundArea, 2176, 1024, 0x40010000u), kMsgAddress},
      {"sound equals map", area(kSoundArea, 2176, 1024, 0x40200000u), kMsgAddress},
      {"absent sound outside program..map", area(kSoundArea, 0, kAbsentLength, 0x40300000u),
       kMsgAddress},
      {"absent sound between", area(kSoundArea, 0, kAbsentLength, 0x40150000u), nullptr},
      {"program length over the limit", area(kProgramArea, 128, 0x7F00001u, 0x40010000u),
       kMsgProgramParameter},
      {"sound length over the limit", area(kSoundArea, 0, 0x7F00001u, 0x40100000u),
       kMsgSoundParameter},
      {"map length over the limit", area(kMapArea, 0, 0x7F00001u, 0x40200000u), kMsgMapParameter},
      {"parameters before addresses",
       [](auto& d) {
         SetArea(d, kSoundArea, 0, 0x7F00001u, 0xFFFFFFFFu);
         SetArea(d, kMapArea, 0, 0x7F00001u, 0);
       },
       kMsgSoundParameter},
      {"program runs past the data", area(kProgramArea, 128, 4097, 0x40010000u),
       kMsgProgramParameter},
      {"sound offset past the data", area(kSoundArea, 0xFFFFFF00u, 1024, 0x40100000u),
       kMsgSoundParameter},
      {"map ends exactly at the data end", area(kMapArea, 3200, 1024, 0x40200000u), nullptr},
      {"map one byte past the data", area(kMapArea, 3201, 1024, 0x40200000u), kMsgMapParameter},
      {"no areas and all addresses all ones",
       [](auto& d) {
         for (auto a : {kProgramArea, kSoundArea, kMapArea}) SetArea(d, a, 0, kAbsentLength, ~0u);
       },
       kMsgAddress},
      {"no areas at ordered addresses", area(kProgramArea, 0, kAbsentLength, 0x40010000u),
       kMsgProgramRequired},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> data = ValidData();
    c.change(data);
    PackageStore store = test::StoreWithData(data);
    store.header_copy.fill(0);
    const Result<> result = ValidatePackage(store);
    if (c.message == nullptr) {
      EXPECT_TRUE(result) << c.name << ": " << result.failure().message;
    } else {
      ASSERT_FALSE(result) << c.name;
      EXPECT_EQ(result.failure().message, c.message) << c.name;
    }
    // The image's header is judged, and the store is left as it was.
    EXPECT_TRUE(std::all_of(store.header_copy.begin(), store.header_copy.end(),
                            [](uint8_t b) { return b == 0; }))
        << c.name;
  }
}

TEST(ValidatePackageTest, DataLengthRules) {
  struct Case {
    uint32_t d;
    const char* message;
  };
  const Case cases[] = {
      {128, kMsgSizeTooSmall},
      {129, kMsgAlignment},
      {384, nullptr},
      {0, kMsgSizeTooSmall},
      {0x7F00000, kMsgAlignment},
      {0x7F00001, kMsgSizeBeyondFlash},
      {0xFFFFFFFF, kMsgSizeBeyondFlash},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> data = test::EmptyPackageData(384);
    SetArea(data, kProgramArea, 128, 256, 0x40010000u);
    PackageStore store = test::StoreWithData(data);
    store.data_length = c.d;  // only the sizes are judged before a size failure
    const Result<> result = ValidatePackage(store);
    if (c.message == nullptr) {
      EXPECT_TRUE(result) << c.d;
    } else {
      ASSERT_FALSE(result) << c.d;
      EXPECT_EQ(result.failure().message, c.message) << c.d;
    }
  }
}

// Sums written out plainly from their definitions.
uint32_t WordSum(const std::vector<uint8_t>& bytes, std::size_t from, std::size_t words) {
  uint32_t total = 0;
  for (std::size_t w = 0; w < words; ++w) {
    const std::size_t at = from + 4 * w;
    total += bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
  }
  return 0u - total;
}

uint32_t BlockSums(const std::vector<uint8_t>& bytes, std::size_t from, std::size_t blocks) {
  uint32_t total = 0;
  for (std::size_t b = 0; b < blocks; ++b) {
    uint32_t sum = 0;
    for (std::size_t i = 0; i < 256; ++i) sum += bytes[from + 256 * b + i];
    total += sum ^ 0x416;
  }
  return total;
}

TEST(ComputeAreaSumsTest, SumsFollowTheirDefinitions) {
  // Data of 1152 bytes: program of 6 bytes at 128, sound of 300 bytes ending at the data end so
  // its second block reaches into the image's 0xFF tail.
  std::vector<uint8_t> data = test::PatternBytes(1152, 3);
  std::copy_n(test::EmptyPackageData(128).begin(), 128, data.begin());
  SetArea(data, kProgramArea, 128, 6, 0x40010000u);
  SetArea(data, kSoundArea, 852, 300, 0x40100000u);
  PackageStore store = test::StoreWithData(data);
  AreaResults results;
  ComputeAreaSums(store, results);

  std::vector<uint8_t> padded = data;
  padded.resize(2048, 0xFF);
  EXPECT_EQ(results.lengths, (std::array<uint32_t, 3>{6, 300, kAbsentLength}));
  EXPECT_EQ(results.sums[kProgramArea], WordSum(data, 128, 1));
  EXPECT_EQ(results.sums[kSoundArea], BlockSums(padded, 852, 2));
  EXPECT_EQ(results.sums[kMapArea], kAbsentLength);
}

TEST(ComputeAreaSumsTest, ShortAndEmptyAreasAndTheMapBuffer) {
  std::vector<uint8_t> data = test::PatternBytes(1152, 4);
  std::copy_n(test::EmptyPackageData(128).begin(), 128, data.begin());
  SetArea(data, kProgramArea, 128, 3, 0x40010000u);
  SetArea(data, kSoundArea, 128, 0, 0x40100000u);
  SetArea(data, kMapArea, 128, 300, 0x40200000u);
  PackageStore store = test::StoreWithData(data);
  const std::vector<uint8_t> buffer = test::PatternBytes(300 + 256 + 8192, 5);
  store.map_buffer.reset(new uint8_t[buffer.size()]);
  std::copy(buffer.begin(), buffer.end(), store.map_buffer.get());
  store.map_buffer_size = static_cast<uint32_t>(buffer.size());

  AreaResults results;
  ComputeAreaSums(store, results);
  EXPECT_EQ(results.lengths, (std::array<uint32_t, 3>{3, 0, 556}));
  EXPECT_EQ(results.sums[kProgramArea], 0u);                   // below one word
  EXPECT_EQ(results.sums[kSoundArea], 0u);                     // no block
  EXPECT_EQ(results.sums[kMapArea], BlockSums(buffer, 0, 3));  // 556 bytes take three blocks
}

TEST(ComputeAreaSumsTest, AreasBeyondTheImageReadAsErasedBytes) {
  // 384 data bytes in an image of 384 + 1024 + 8192: the tail and everything past it is 0xFF.
  const uint32_t image_end = 384 + 1024 + 8192;
  for (uint32_t offset : {image_end - 2, image_end - 300, 0xFFFFFF00u}) {
    std::vector<uint8_t> data = test::EmptyPackageData(384);
    SetArea(data, kProgramArea, offset, 0x1000, 0x40010000u);
    SetArea(data, kSoundArea, offset, 0x7F00000u, 0x40100000u);
    PackageStore store = test::StoreWithData(data);
    AreaResults results;
    ComputeAreaSums(store, results);
    EXPECT_EQ(results.sums[kProgramArea], 0u - 0x400u * 0xFFFFFFFFu) << offset;
    EXPECT_EQ(results.sums[kSoundArea], (0x7F00000u / 256) * ((255u * 256) ^ 0x416)) << offset;
  }
}

// Package data whose areas lie back to back, with check bytes computed over each area.
std::vector<uint8_t> CheckedData(uint32_t program, uint32_t sound, uint32_t map) {
  std::vector<uint8_t> data = test::PatternBytes(128 + program + sound + map, 6);
  std::copy_n(test::EmptyPackageData(128).begin(), 128, data.begin());
  SetArea(data, kProgramArea, 128, program, 0x40010000u);
  SetArea(data, kSoundArea, 128 + program, sound, 0x40100000u);
  SetArea(data, kMapArea, 128 + program + sound, map, 0x40200000u);
  std::size_t at = 128;
  for (int i = 0; i < 3; ++i) {
    const uint32_t length = i == 0 ? program : i == 1 ? sound : map;
    uint8_t x = 0;
    for (uint32_t k = 0; k < length / 1024 * 1024; ++k) x ^= data[at + k];
    data[80 + i] = x;
    at += length;
  }
  return data;
}

TEST(VerifyCheckBytesTest, EachAreaIsCheckedOverItsWholeKiB) {
  const std::vector<uint8_t> good = CheckedData(2048, 1024, 3072);
  struct Case {
    const char* name;
    std::size_t flip;  // data byte to change; 0 changes nothing
    bool passes;
  };
  const Case cases[] = {{"unchanged", 0, true},
                        {"program byte", 128 + 5, false},
                        {"sound byte", 128 + 2048 + 1023, false},
                        {"map byte", 128 + 3072 + 3071, false},
                        {"two flips in one area cancel", 0, true}};
  for (const auto& c : cases) {
    std::vector<uint8_t> data = good;
    if (c.flip != 0) data[c.flip] ^= 0x10;
    if (std::string(c.name).starts_with("two")) {
      data[200] ^= 0x21;
      data[201] ^= 0x21;
    }
    PackageStore store = test::StoreWithData(data);
    const Result<> result = VerifyCheckBytes(store);
    EXPECT_EQ(result.ok(), c.passes) << c.name;
    if (!result) {
      EXPECT_EQ(result.failure().message, kMsgCheckData) << c.name;
    }
  }
}

TEST(VerifyCheckBytesTest, CursorAndCountRules) {
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> change;
    bool passes;
  };
  const Case cases[] = {
      // Bytes past the last whole KiB are not covered.
      {"tail beyond whole KiB",
       [](auto& d) { SetArea(d, kProgramArea, 128, 2048 + 1000, 0x40010000u); }, true},
      {"area below 1 KiB needs check byte 0",
       [](auto& d) {
         SetArea(d, kSoundArea, 128, 1000, 0x40100000u);
         SetArea(d, kMapArea, 0, kAbsentLength, 0x40200000u);
         d[81] = 0;
       },
       true},
      {"area below 1 KiB with a non-zero check byte",
       [](auto& d) {
         SetArea(d, kSoundArea, 128, 1000, 0x40100000u);
         d[81] = 1;
       },
       false},
      // The sound offset is ignored: the cursor runs on from the program's whole KiB.
      {"sound offset ignored", [](auto& d) { SetArea(d, kSoundArea, 0, 1024, 0x40100000u); }, true},
      // 64 MiB is 65536 KiB, a 16-bit count of 0: check value 0 and no bytes read.
      {"64 MiB wraps to no KiB",
       [](auto& d) {
         SetArea(d, kMapArea, 0, 0x4000000u, 0x40200000u);
         d[82] = 0;
       },
       true},
      // A cursor that would leave the package data fails instead of reading beyond it.
      {"cursor past the data", [](auto& d) { SetArea(d, kMapArea, 0, 0x3FFFC00u, 0x40200000u); },
       false},
      {"absent area leaves the cursor",
       [](auto& d) {
         SetArea(d, kSoundArea, 0, kAbsentLength, 0x40100000u);
         SetArea(d, kMapArea, 0, 1024, 0x40200000u);
         d[82] = d[81];
       },
       true},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> data = CheckedData(2048, 1024, 3072);
    c.change(data);
    PackageStore store = test::StoreWithData(data);
    EXPECT_EQ(VerifyCheckBytes(store).ok(), c.passes) << c.name;
  }
}

}  // namespace
}  // namespace qv
