#include "package/package_header.h"

#include <gtest/gtest.h>

#include <numeric>

namespace qv {
namespace {

std::array<uint8_t, kHeaderSize> CountingHeader() {
  std::array<uint8_t, kHeaderSize> header{};
  std::iota(header.begin(), header.end(), uint8_t{0});
  return header;
}

TEST(PackageHeaderTest, DescriptorsAreLittleEndianAtTheirOffsets) {
  const auto header = CountingHeader();
  struct Case {
    AreaIndex area;
    uint32_t offset, length, address;
    std::array<uint8_t, 4> tag;
    uint8_t check;
  };
  const Case cases[] = {
      {kProgramArea, 0x23222120, 0x27262524, 0x2B2A2928, {0x2C, 0x2D, 0x2E, 0x2F}, 80},
      {kSoundArea, 0x33323130, 0x37363534, 0x3B3A3938, {0x3C, 0x3D, 0x3E, 0x3F}, 81},
      {kMapArea, 0x43424140, 0x47464544, 0x4B4A4948, {0x4C, 0x4D, 0x4E, 0x4F}, 82},
  };
  for (const auto& c : cases) {
    const AreaDescriptor d = ReadAreaDescriptor(header, c.area);
    EXPECT_EQ(d.offset, c.offset);
    EXPECT_EQ(d.length, c.length);
    EXPECT_EQ(d.address, c.address);
    EXPECT_EQ(d.version_tag, c.tag);
    EXPECT_EQ(d.check_byte, c.check);
    EXPECT_TRUE(d.present());
  }
  EXPECT_EQ(ReadScrambleCount(header), 0x0F0E0D0Cu);
}

TEST(PackageHeaderTest, LengthAllOnesMarksAnAbsentArea) {
  std::array<uint8_t, kHeaderSize> header{};
  std::fill_n(header.begin() + 52, 4, uint8_t{0xFF});
  EXPECT_TRUE(ReadAreaDescriptor(header, kProgramArea).present());  // length 0 is present
  EXPECT_FALSE(ReadAreaDescriptor(header, kSoundArea).present());
  header[52] = 0xFE;
  EXPECT_TRUE(ReadAreaDescriptor(header, kSoundArea).present());
}

TEST(PackageHeaderTest, TextFieldsEndAtZeroOrTheirWidth) {
  std::array<uint8_t, kHeaderSize> header{};
  const std::string full1 = "ABCDEFGHxyz";  // spills into the unread bytes 8..10
  std::copy(full1.begin(), full1.end(), header.begin());
  const std::string full2 = "0123456789extra";
  std::copy(full2.begin(), full2.end(), header.begin() + 16);
  EXPECT_EQ(ReadHeaderText1(header), "ABCDEFGH");
  EXPECT_EQ(ReadHeaderText2(header), "0123456789");
  header[3] = 0;
  header[16] = 0;
  EXPECT_EQ(ReadHeaderText1(header), "ABC");
  EXPECT_EQ(ReadHeaderText2(header), "");
}

TEST(PackageHeaderTest, VersionRecordJoinsTheTagsWithSAndC) {
  const auto record = BuildVersionRecord(CountingHeader());
  const std::array<uint8_t, 20> expected = {0x2C, 0x2D, 0x2E, 0x2F, 'S',  0x3C, 0x3D,
                                            0x3E, 0x3F, 'C',  0x4C, 0x4D, 0x4E, 0x4F,
                                            0,    0,    0,    0,    0,    0};
  EXPECT_EQ(record, expected);
}

}  // namespace
}  // namespace qv
