#include "sim/sim_query_answer.h"

#include <gtest/gtest.h>

#include <string>

#include "sim_fixture.h"

namespace qv::sim {
namespace {

std::string Text(const std::array<uint8_t, 64>& answer, std::size_t from, std::size_t size) {
  return std::string(answer.begin() + static_cast<std::ptrdiff_t>(from),
                     answer.begin() + static_cast<std::ptrdiff_t>(from + size));
}

TEST(SimQueryAnswerTest, DefaultAnswerCarriesVersionIdAndLength) {
  const std::array<uint8_t, 64> answer = SimQueryAnswer({});
  EXPECT_EQ(answer[0], 'P');
  for (int i = 1; i < 14; ++i) EXPECT_EQ(answer[i], 0) << i;
  EXPECT_EQ(answer[14], 0xFF);
  EXPECT_EQ(Text(answer, 15, 4), "C216");
  for (int i = 19; i < 63; ++i) EXPECT_EQ(answer[i], 0xFF) << i;
  EXPECT_EQ(answer[63], 20);
}

TEST(SimQueryAnswerTest, FlashIdFollowsTheLengthByte) {
  struct Case {
    uint8_t length;
    std::string id;
    int first;         // where the id's first byte lands (may be off the answer)
    std::string seen;  // the id's bytes that fit inside bytes 0..62
  };
  const Case cases[] = {
      {20, "EF13", 15, "EF13"}, {13, "c216", 8, "c216"},  // over the version bytes
      {64, "1234", 59, "1234"}, {65, "1234", 60, "123"},  // byte 63 stays the length
      {3, "C216", -2, "16"},    {0, "C216", -5, ""},
      {200, "C216", 195, ""},   {20, "C2", 15, "C200"},  // a short id is padded with '0'
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.length} << " " << c.id);
    SimDeviceConfig config;
    config.length_byte = c.length;
    config.flash_id = c.id;
    config.version = {'P', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    const std::array<uint8_t, 64> answer = SimQueryAnswer(config);
    EXPECT_EQ(answer[63], c.length);
    const int from = std::max(c.first, 0);
    EXPECT_EQ(Text(answer, static_cast<std::size_t>(from), c.seen.size()), c.seen);
    // Version bytes the id does not cover stay as configured.
    if (c.first > 0) {
      EXPECT_EQ(answer[0], 'P');
    }
    if (c.first >= 14) {
      EXPECT_EQ(answer[13], 13);
    }
  }
}

TEST(SimQueryAnswerTest, RawAnswerIsSentAsItStands) {
  SimDeviceConfig config;
  std::array<uint8_t, 64> raw{};
  raw[63] = 99;
  config.raw_answer = raw;
  EXPECT_EQ(SimQueryAnswer(config), raw);
}

class SimShortReportTest : public test::SimFixture {};

TEST_F(SimShortReportTest, ShortInputReportsMoveFewerBytes) {
  SimDeviceConfig config;
  config.input_payload = 32;
  Replug(config);
  Send(test::QueryReport());
  Report report{};
  EXPECT_EQ(port->ReadReport(report, 10), 33);  // one short answer, nothing more
  EXPECT_EQ(report[1], 'P');
  EXPECT_EQ(port->ReadReport(report, 10), 0);
  // The read-back's 256 bytes come in reports of the same size.
  SendCommand(0xA1, 0, 1);
  Send(test::ReadbackReport());
  EXPECT_EQ(ReadPayload(256, 10).size(), 256u);
  EXPECT_EQ(device->ReportsSent(), 9u);
}

}  // namespace
}  // namespace qv::sim
