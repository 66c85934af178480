#include "package/package_builder.h"

#include <gtest/gtest.h>

#include "fake_clock.h"
#include "package/package_checks.h"
#include "package/package_load.h"
#include "package_fixture.h"
#include "recording_dialogs.h"

namespace qv {
namespace {

BuildArea Area(std::size_t size, uint32_t address, uint32_t seed, std::array<uint8_t, 4> tag = {}) {
  BuildArea area;
  area.present = true;
  area.data = test::PatternBytes(size, seed);
  area.address = address;
  area.version_tag = tag;
  return area;
}

std::vector<uint8_t> Build(const BuildInput& input) {
  test::ScriptedRandom random;
  for (uint32_t i = 0; i < 1024; ++i) random.values.push_back(i * 37 + 0x8000);
  Result<std::vector<uint8_t>> built = BuildPackage(input, random);
  EXPECT_TRUE(built) << (built ? "" : built.failure().message);
  return built ? std::move(*built) : std::vector<uint8_t>{};
}

class BuilderRoundTripTest : public ::testing::Test {
 protected:
  // Loads the file as the updater does and runs the update-time checks.
  void LoadAndCheck(const std::vector<uint8_t>& file) {
    MemoryPackageSource source(file);
    ASSERT_TRUE(LoadPackageFrom(store_, source, {}, dialogs_, random_, clock_));
    ASSERT_TRUE(ValidatePackage(store_));
    ComputeAreaSums(store_, results_);
    ASSERT_TRUE(VerifyCheckBytes(store_));
    EXPECT_TRUE(dialogs_.messages().empty());
  }

  PackageStore store_;
  AreaResults results_;
  test::RecordingDialogs dialogs_;
  test::ScriptedRandom random_;
  test::FakeClock clock_;
};

TEST_F(BuilderRoundTripTest, AreasComeBackPaddedWithTheirTagsAndSums) {
  struct Case {
    const char* name;
    std::array<int, 3> sizes;  // -1: absent
  };
  const Case cases[] = {{"program only", {5000, -1, -1}},
                        {"program and sound", {1024, 3000, -1}},
                        {"program and map", {100, -1, 2000}},
                        {"all three", {5000, 3000, 2000}},
                        {"empty map", {4096, 300, 0}}};
  const uint32_t addresses[] = {0x40010000u, 0x40100000u, 0x40200000u};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BuildInput input;
    input.scramble_count = 17;
    input.text1 = "ABCDEFGH";
    input.text2 = "rev 1.2";
    for (int i = 0; i < 3; ++i) {
      if (c.sizes[i] < 0) continue;
      input.areas[i] =
          Area(c.sizes[i], addresses[i], 20 + i, {uint8_t(i), 0xAB, 0xCD, uint8_t(0xF0 + i)});
    }
    const std::vector<uint8_t> file = Build(input);
    store_.Release();
    LoadAndCheck(file);

    const auto expected_addresses = ResolveAddresses(input);
    uint32_t offset = 128;
    for (int i = 0; i < 3; ++i) {
      const AreaDescriptor d = ReadAreaDescriptor(store_.header_copy, static_cast<AreaIndex>(i));
      EXPECT_EQ(d.address, expected_addresses[i]) << i;
      EXPECT_EQ(d.version_tag, input.areas[i].version_tag) << i;
      if (c.sizes[i] < 0) {
        EXPECT_FALSE(d.present()) << i;
        EXPECT_EQ(results_.sums[i], kAbsentLength);
        continue;
      }
      const uint32_t padded = (c.sizes[i] + 1023) / 1024 * 1024;
      EXPECT_EQ(d.offset, offset) << i;
      EXPECT_EQ(d.length, padded) << i;
      const uint8_t* at = store_.image.get() + offset;
      EXPECT_TRUE(std::equal(input.areas[i].data.begin(), input.areas[i].data.end(), at)) << i;
      EXPECT_TRUE(std::all_of(at + c.sizes[i], at + padded, [](uint8_t b) { return b == 0xFF; }));
      EXPECT_EQ(results_.lengths[i], padded + (i == kMapArea ? 256u : 0u)) << i;
      offset += padded;
    }
    EXPECT_EQ(store_.data_length, offset);
    EXPECT_EQ(ReadScrambleCount(store_.header_copy), 17u);
    EXPECT_EQ(ReadHeaderText1(store_.header_copy), "ABCDEFGH");
    EXPECT_EQ(ReadHeaderText2(store_.header_copy), "rev 1.2");
    const auto& tags = input.areas;
    EXPECT_TRUE(std::equal(tags[0].version_tag.begin(), tags[0].version_tag.end(),
                           store_.version_record.begin()));
    EXPECT_TRUE(std::equal(tags[2].version_tag.begin(), tags[2].version_tag.end(),
                           store_.version_record.begin() + 10));
  }
}

TEST_F(BuilderRoundTripTest, KeyBlockComesFromTheGenerator) {
  BuildInput input;
  input.areas[kProgramArea] = Area(1024, 0x40010000u, 1);
  const std::vector<uint8_t> file = Build(input);
  for (uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(file[i], uint8_t(i * 37)) << i;
}

TEST(BuilderAddressTest, AbsentAreasGetOrderedAddresses) {
  BuildInput input;
  input.areas[kProgramArea] = Area(1024, 0x40010000u, 1);
  EXPECT_EQ(ResolveAddresses(input),
            (std::array<uint32_t, 3>{0x40010000u, 0x407FFFFEu, 0x407FFFFFu}));
  input.areas[kMapArea] = Area(1024, 0x40300000u, 2);
  EXPECT_EQ(ResolveAddresses(input)[kSoundArea], 0x402FFFFFu);
  input.areas[kSoundArea].address = 0x40200000u;  // an absent area may be given an address
  EXPECT_EQ(ResolveAddresses(input)[kSoundArea], 0x40200000u);
}

TEST(BuilderRefusalTest, RefusesWhatTheUpdaterWouldRefuseOrMiswrite) {
  struct Case {
    const char* name;
    std::function<void(BuildInput&)> change;
    const char* message_part;
  };
  const Case cases[] = {
      {"no program", [](auto& in) { in.areas[kProgramArea] = {}; }, "program area is required"},
      {"program without address", [](auto& in) { in.areas[kProgramArea].address.reset(); },
       "needs a flash address"},
      {"long text1", [](auto& in) { in.text1 = "123456789"; }, "text1"},
      {"long text2", [](auto& in) { in.text2 = "12345678901"; }, "text2"},
      {"program in the first 64 KiB",
       [](auto& in) { in.areas[kProgramArea].address = 0x4000F000u; }, "0x40010000 <="},
      {"sound below program", [](auto& in) { in.areas[kSoundArea].address = 0x40010000u; },
       "0x40010000 <="},
      {"map below sound", [](auto& in) { in.areas[kMapArea].address = 0x40100000u; },
       "0x40010000 <="},
      {"absent sound squeezed out",
       [](auto& in) {
         in.areas[kSoundArea] = {};
         in.areas[kMapArea].address = in.areas[kProgramArea].address.value() + 1;
       },
       "0x40010000 <="},
      {"unaligned sound", [](auto& in) { in.areas[kSoundArea].address = 0x40100100u; },
       "4096-byte flash sector"},
      {"program overlaps sound", [](auto& in) { in.areas[kProgramArea].data.resize(0xF0001); },
       "program and sound"},
      {"sharing a sector",
       [](auto& in) {
         in.areas[kProgramArea].data.resize(4097);
         in.areas[kSoundArea].address = 0x40011000u;
       },
       "program and sound"},
      {"next sector is free", [](auto& in) { in.areas[kSoundArea].address = 0x40011000u; },
       nullptr},
      {"map with its prefix past the window",
       [](auto& in) {
         in.areas[kMapArea].address = 0x407FF000u;
         in.areas[kMapArea].data.resize(3841);
       },
       "too large for the flash window"},
      {"map in the last sector",
       [](auto& in) {
         in.areas[kMapArea].address = 0x407FF000u;
         in.areas[kMapArea].data.resize(3072);
       },
       nullptr},
      {"empty program alone",
       [](auto& in) {
         in.areas[kProgramArea].data.clear();
         in.areas[kSoundArea] = {};
         in.areas[kMapArea] = {};
       },
       "no area bytes"},
  };
  for (const auto& c : cases) {
    BuildInput input;
    input.areas[kProgramArea] = Area(4096, 0x40010000u, 1);
    input.areas[kSoundArea] = Area(2048, 0x40100000u, 2);
    input.areas[kMapArea] = Area(1024, 0x40200000u, 3);
    c.change(input);
    RuntimeRandom random;
    const Result<std::vector<uint8_t>> built = BuildPackage(input, random);
    if (c.message_part == nullptr) {
      EXPECT_TRUE(built) << c.name << ": " << (built ? "" : built.failure().message);
    } else {
      ASSERT_FALSE(built) << c.name;
      EXPECT_NE(built.failure().message.find(c.message_part), std::string::npos)
          << c.name << ": " << built.failure().message;
    }
  }
}

}  // namespace
}  // namespace qv
