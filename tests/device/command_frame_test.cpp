#include "device/command_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "platform/byte_sum.h"
#include "device/device_commands.h"
#include "device/layout_block.h"
#include "link_fixture.h"
#include "platform/little_endian.h"

namespace qv {
namespace {

using test::LinkTest;
using test::ReportOf;

TEST(ByteSumTest, SumsBytesAsUnsignedThenXors) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint32_t expected;
  };
  const Case cases[] = {
      {{}, 0x416},
      {{0x01}, 0x417},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x1A}, 0},  // a sum equal to the mask gives 0
      {{0x80}, 0x496},                      // a high byte adds 128, not -128
      {std::vector<uint8_t>(14, 0xFF), 3570u ^ 0x416u},
      {std::vector<uint8_t>(0x20000, 0xFF), (0x20000u * 0xFFu) ^ 0x416u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ByteSumChecksum(c.bytes.data(), c.bytes.size()), c.expected) << c.bytes.size();
  }
}

TEST(CommandFrameTest, FramesCarryTheirFieldsAndChecksum) {
  struct Case {
    uint8_t opcode;
    uint32_t param1;
    uint32_t param2;
    uint32_t checksum;
  };
  const Case cases[] = {
      {CMD_QUERY, 0x80, 1, 0x660},
      {CMD_RESET, 0x12345678, 0xABCDEF01, 0x179},
      {CMD_OVER, 0x12345678, 0xABCDEF01, 0x178},
      {CMD_READBACK, 0x80, 1, 0x667},
      {CMD_SET_LAYOUT, 0x80, 1, 0x663},
  };
  for (const Case& c : cases) {
    const CommandFrame frame = CommandFrame::Make(c.opcode, c.param1, c.param2);
    const auto& b = frame.bytes;
    EXPECT_EQ(b[0], c.opcode);
    EXPECT_EQ(b[1], 14);
    EXPECT_EQ(LoadLe32(&b[2]), c.param1);
    EXPECT_EQ(LoadLe32(&b[6]), c.param2);
    EXPECT_EQ((std::vector<uint8_t>(&b[10], &b[14])),
              (std::vector<uint8_t>{0x79, 0x50, 0x71, 0x06}));
    EXPECT_EQ(LoadLe32(&b[14]), c.checksum) << std::hex << int{c.opcode};
    EXPECT_EQ(b[16], 0);
    EXPECT_EQ(b[17], 0);
  }
}

// The whole reports as the device receives them, byte for byte.
TEST_F(LinkTest, QueryAndResetReportsAreSentByteForByte) {
  auto device = ConnectDevice();
  device->QueueInput(std::vector<uint8_t>(64, 0));
  std::array<uint8_t, 64> answer{};
  ASSERT_EQ(QueryExchange(link_, answer), 64u);
  ASSERT_TRUE(ResetCommand(link_));

  const auto written = device->written();
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0], ReportOf({0xA7, 0x0E, 0x80, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x79,
                                  0x50, 0x71, 0x06, 0x60, 0x06, 0x00, 0x00},
                                 0xCC));
  EXPECT_EQ(written[1], ReportOf({0xA5, 0x0E, 0x78, 0x56, 0x34, 0x12, 0x01, 0xEF, 0xCD, 0xAB, 0x79,
                                  0x50, 0x71, 0x06, 0x79, 0x01, 0x00, 0x00},
                                 0xCC));
}

TEST(CommandFrameTest, ReportFillOverwritesWhateverWasInTheBuffer) {
  Report report;
  report.fill(0x11);
  FillCommandReport(report, CommandFrame::Make(CMD_OVER, 1, 2));
  EXPECT_EQ(report[0], 0);
  for (std::size_t i = 19; i < report.size(); ++i) EXPECT_EQ(report[i], 0xCC) << i;

  std::array<uint8_t, 64> data{};
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i + 1);
  FillDataReport(report, data.data());
  EXPECT_EQ(report[0], 0);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), report.begin() + 1));
}

TEST(LayoutBlockTest, SectorsAreLowSixteenBitsLittleEndianThenFill) {
  struct Case {
    uint32_t program, sound, map;
    std::array<uint8_t, 6> expected;
  };
  const Case cases[] = {
      {0x12345, 0x40, 0xFFFF, {0x45, 0x23, 0x40, 0x00, 0xFF, 0xFF}},
      {0, 0x0100, 0xABCD, {0x00, 0x00, 0x00, 0x01, 0xCD, 0xAB}},
  };
  for (const Case& c : cases) {
    const LayoutBlock block = BuildLayoutBlock(c.program, c.sound, c.map);
    EXPECT_TRUE(std::equal(c.expected.begin(), c.expected.end(), block.begin()));
    EXPECT_TRUE(std::all_of(block.begin() + 6, block.end(), [](uint8_t b) { return b == 0xFF; }));
  }
}

}  // namespace
}  // namespace qv
