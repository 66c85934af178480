#include "sim/sim_frame.h"

#include <gtest/gtest.h>

#include "sim_test_reports.h"

namespace qv::sim {
namespace {

struct Documented {
  const char* name;
  Report report;
  uint8_t opcode;
  uint32_t param1;
  uint32_t param2;
  uint32_t checksum;
};

// The reports as documented byte by byte, with the checksums the protocol states for them.
const Documented kDocumented[] = {
    {"query", test::QueryReport(), kOpQuery, 0x80, 1, 0x660},
    {"reset", test::ResetReport(), kOpReset, 0x12345678, 0xABCDEF01, 0x179},
    {"over", test::OverReport(), kOpOver, 0x12345678, 0xABCDEF01, 0x178},
    {"read-back", test::ReadbackReport(), kOpReadback, 0x80, 1, 0x667},
    {"set-layout", test::SetLayoutReport(), kOpSetLayout, 0x80, 1, 0x663},
};

TEST(SimFrameTest, DecodesTheDocumentedReportsAndTheirChecksums) {
  for (const Documented& d : kDocumented) {
    SCOPED_TRACE(d.name);
    EXPECT_EQ(SimByteSum(d.report.data() + 1, 14), d.checksum);
    EXPECT_EQ(SimLe32(d.report.data() + 15), d.checksum);
    SimCommand command;
    EXPECT_EQ(SimDecodeCommand(d.report, command), "");
    EXPECT_EQ(command.opcode, d.opcode);
    EXPECT_EQ(command.param1, d.param1);
    EXPECT_EQ(command.param2, d.param2);
    // The tests' own encoder agrees with the documented bytes.
    EXPECT_EQ(test::EncodeCommand(d.opcode, d.param1, d.param2), d.report);
  }
}

TEST(SimFrameTest, ByteSumTakesBytesUnsignedIn32Bits) {
  std::vector<uint8_t> bytes(20000, 0xFF);
  EXPECT_EQ(SimByteSum(bytes.data(), bytes.size()), (20000u * 255u) ^ 0x416u);
  EXPECT_EQ(SimByteSum(bytes.data(), 0), 0x416u);
}

TEST(SimFrameTest, EraseAndWriteTakeAnyParameters) {
  for (uint8_t opcode : {kOpErase, kOpWrite}) {
    SimCommand command;
    EXPECT_EQ(SimDecodeCommand(test::EncodeCommand(opcode, 0xFFFFFFFF, 0), command), "");
    EXPECT_EQ(command.param1, 0xFFFFFFFFu);
  }
}

}  // namespace
}  // namespace qv::sim
