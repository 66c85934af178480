#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "sim/sim_device_model.h"
#include "sim_fixture.h"

namespace qv::sim {
namespace {

using test::DataReport;
using test::EncodeCommand;
using test::QueryReport;

class SimProtocolTest : public test::SimFixture {};

struct Malformed {
  const char* what;
  std::function<void(Report&)> spoil;
  const char* fault;
};

// Each is the documented query report spoiled in one way.
const Malformed kMalformed[] = {
    {"report number", [](Report& r) { r[0] = 1; }, "report number 0x1"},
    {"unknown opcode", [](Report& r) { r[1] = 0xA8; }, "unknown opcode 0xA8"},
    {"opcode below range", [](Report& r) { r[1] = 0xA0; }, "unknown opcode 0xA0"},
    {"checked length", [](Report& r) { r[2] = 13; }, "checked length 0xD"},
    {"magic", [](Report& r) { r[14] = 0x07; }, "frame magic 0x7715079"},
    {"checksum", [](Report& r) { r[15] = 0x61; }, "checksum 0x661 (expected 0x660)"},
    {"checksum high bytes", [](Report& r) { r[17] = 1; }, "checksum 0x10660"},
    {"first fill byte", [](Report& r) { r[19] = 0; }, "fill byte 19"},
    {"last fill byte", [](Report& r) { r[64] = 0xCD; }, "fill byte 64"},
    {"query parameters", [](Report& r) { r = EncodeCommand(0xA7, 0x81, 1); },
     "QUERY with parameters 0x81, 0x1"},
    {"read-back count", [](Report& r) { r = EncodeCommand(0xA2, 0x80, 2); }, "READBACK with"},
    {"set-layout parameters", [](Report& r) { r = EncodeCommand(0xA6, 0x80, 0); }, "SET_LAYOUT"},
    {"reset swapped", [](Report& r) { r = EncodeCommand(0xA5, 0xABCDEF01, 0x12345678); },
     "RESET with parameters 0xABCDEF01, 0x12345678 (expected 0x12345678, 0xABCDEF01)"},
    {"over key", [](Report& r) { r = EncodeCommand(0xA4, 0x12345678, 0); }, "OVER with"},
    {"stray data report", [](Report& r) { r = DataReport(0x5A); }, "unknown opcode 0x5A"},
};

TEST_F(SimProtocolTest, MalformedReportsAreRecordedAndNotObeyed) {
  for (const Malformed& m : kMalformed) {
    SCOPED_TRACE(m.what);
    Replug({});
    Report report = QueryReport();
    m.spoil(report);
    Send(report);  // moved like any report: the device only ignores it
    ASSERT_EQ(device->Faults().size(), 1u);
    EXPECT_NE(device->Faults()[0].find(m.fault), std::string::npos) << device->Faults()[0];
    EXPECT_TRUE(device->Commands().empty());
    EXPECT_TRUE(ReadPayload(64, 50).empty());          // nothing answered
    EXPECT_TRUE(bus.Open(device->path()) != nullptr);  // a reset with bad keys did not reset
  }
}

TEST_F(SimProtocolTest, ProgrammingFollowsNorRules) {
  Erase(10, 1);
  WritePages(160, 2, {0xF0, 0x3C});  // page 160 is window offset 0xA000, in sector 10
  std::vector<uint8_t> flash = device->FlashImage();
  EXPECT_EQ(flash[0x9FFF], 0xFF);
  EXPECT_EQ(flash[0xA000], 0xF0);
  EXPECT_EQ(flash[0xA0FF], 0xF0);
  EXPECT_EQ(flash[0xA100], 0x3C);
  EXPECT_EQ(flash[0xA1FF], 0x3C);
  EXPECT_EQ(flash[0xA200], 0xFF);
  EXPECT_TRUE(device->Faults().empty()) << FaultText();

  // Programming over written bytes only clears bits, and is a fault even where it changes nothing.
  WritePages(160, 1, {0x0F});
  flash = device->FlashImage();
  EXPECT_EQ(flash[0xA000], 0x00);
  ASSERT_EQ(device->Faults().size(), 1u);
  EXPECT_NE(device->Faults()[0].find("256 byte(s) over unerased flash"), std::string::npos)
      << FaultText();

  // Erasing the sector brings back 0xFF for the whole 4 KiB, nothing around it.
  WritePages(159, 1, {0x11});
  Erase(10, 1);
  flash = device->FlashImage();
  EXPECT_EQ(flash[0x9FFF], 0x11);
  EXPECT_EQ(flash[0xA000], 0xFF);
  EXPECT_EQ(flash[0xAFFF], 0xFF);
  EXPECT_EQ(device->Faults().size(), 1u);
}

TEST_F(SimProtocolTest, RangesOutsideTheWindowAreFaults) {
  struct Case {
    uint8_t opcode;
    uint32_t start;
    uint32_t count;
    bool fault;
  };
  const Case cases[] = {
      {0xA1, 2047, 1, false},      {0xA1, 2048, 1, true},       {0xA1, 2047, 2, true},
      {0xA1, 0xFFFFFFFF, 2, true}, {0xA1, 1, 0xFFFFFFFF, true}, {0xA3, 32767, 1, false},
      {0xA3, 32768, 1, true},      {0xA3, 32767, 2, true},      {0xA3, 0xFFFFFFFF, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << std::hex << int{c.opcode} << " " << c.start << " " << c.count);
    Replug({});
    SendCommand(c.opcode, c.start, c.count);
    if (c.opcode == 0xA1) {
      Send(test::ReadbackReport());
    } else {
      for (uint32_t i = 0; i < 4; ++i) Send(DataReport(0x00));
    }
    EXPECT_EQ(device->Faults().size(), c.fault ? 1u : 0u) << FaultText();
    if (c.fault) {
      EXPECT_NE(FaultText().find("outside the flash window"), std::string::npos);
    }
    const std::vector<uint8_t> flash = device->FlashImage();
    const bool wrote_last_page = c.opcode == 0xA3 && !c.fault;
    EXPECT_EQ(flash.back(), wrote_last_page ? 0x00 : 0xFF);
    EXPECT_EQ(flash.front(), 0xFF);  // an address that wraps does not land at the start
  }
}

TEST_F(SimProtocolTest, SequenceFaults) {
  struct Case {
    const char* what;
    std::function<void(test::SimFixture&)> steps;
    const char* fault;
  };
  const Case cases[] = {
      {"data before any command", [](auto& f) { f.Send(DataReport(0x00)); }, "rejected report"},
      {"too many data reports",
       [](auto& f) {
         f.WritePages(0, 1, {0x00});
         f.Send(DataReport(0x00));
       },
       "rejected report"},
      {"command inside a write",
       [](auto& f) {
         f.SendCommand(0xA3, 0, 1);
         f.Send(DataReport(0x00));
         f.Send(QueryReport());
       },
       "QUERY command while 3 data report(s) still expected"},
      {"command inside a set-layout",
       [](auto& f) {
         f.Send(test::SetLayoutReport());
         f.Send(test::OverReport());
       },
       "OVER command while 4 data report(s) still expected"},
      {"erase without read-back",
       [](auto& f) {
         f.SendCommand(0xA1, 0, 1);
         f.Send(QueryReport());
       },
       "ERASE not followed by READBACK"},
      {"read-back without erase", [](auto& f) { f.Send(test::ReadbackReport()); },
       "READBACK without a preceding ERASE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Replug({});
    c.steps(*this);
    ASSERT_EQ(device->Faults().size(), 1u) << FaultText();
    EXPECT_NE(FaultText().find(c.fault), std::string::npos) << FaultText();
  }
}

TEST_F(SimProtocolTest, ACommandCutIntoADataPhaseIsStillObeyed) {
  SendCommand(0xA3, 0, 1);
  Send(QueryReport());
  EXPECT_EQ(ReadPayload(64, 50).size(), 64u);
  Send(DataReport(0x00));  // the rest of the abandoned write is no longer taken as data
  EXPECT_EQ(device->Faults().size(), 2u) << FaultText();
  EXPECT_EQ(device->FlashImage()[0], 0xFF);
}

TEST_F(SimProtocolTest, ReadbackComesAfterTheEraseTimeOfAllSectors) {
  SimDeviceConfig config;
  config.erase_ms_per_sector = 34;
  Replug(config);
  WritePages(16, 1, {0x00});
  SendCommand(0xA1, 1, 3);
  Send(test::ReadbackReport());
  const uint32_t start = clock.TickMs();
  EXPECT_TRUE(ReadPayload(256, 100).empty());  // 3 x 34 ms are not over yet
  const std::vector<uint8_t> answer = ReadPayload(256, 10);
  EXPECT_EQ(clock.TickMs() - start, 102u);  // the wait ends when the answer is due
  ASSERT_EQ(answer.size(), 256u);
  EXPECT_EQ(answer, std::vector<uint8_t>(256, 0xFF));  // the erased range's first bytes
  EXPECT_EQ(device->ReportsSent(), 4u);
  EXPECT_EQ(device->FlashImage()[0x1000], 0xFF);
}

TEST_F(SimProtocolTest, SetLayoutKeepsTheBlockAndChecksItsFill) {
  auto send_layout = [this](uint8_t fill_byte_200) {
    Send(test::SetLayoutReport());
    for (int i = 0; i < 4; ++i) {
      Report data = DataReport(0xFF);
      if (i == 0) {
        const uint8_t sectors[6] = {0x45, 0x23, 0xFF, 0xFF, 0x10, 0x00};
        std::copy(std::begin(sectors), std::end(sectors), data.begin() + 1);
      }
      if (i == 3) data[1 + 200 - 192] = fill_byte_200;
      Send(data);
    }
  };
  send_layout(0xFF);
  auto* model = static_cast<SimDeviceModel*>(device.get());
  ASSERT_TRUE(model->LayoutBlock().has_value());
  EXPECT_EQ((*model->LayoutBlock())[0], 0x45);
  EXPECT_EQ((*model->LayoutBlock())[1], 0x23);
  EXPECT_EQ((*model->LayoutBlock())[4], 0x10);
  EXPECT_TRUE(device->Faults().empty()) << FaultText();
  send_layout(0x00);
  EXPECT_NE(FaultText().find("layout block byte 200 is 0x0"), std::string::npos) << FaultText();
}

TEST_F(SimProtocolTest, CommandLogAndCounters) {
  SendCommand(0xA3, 5, 0);  // a write of no pages expects no data
  Send(QueryReport());
  Send(QueryReport());  // the first answer, never read, is dropped
  EXPECT_EQ(ReadPayload(128, 50).size(), 64u);
  Send(test::OverReport());
  const std::vector<SimCommand> commands = device->Commands();
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[0].opcode, 0xA3);
  EXPECT_EQ(commands[0].param1, 5u);
  EXPECT_EQ(commands[3].opcode, 0xA4);
  EXPECT_EQ(commands[3].param2, 0xABCDEF01u);
  EXPECT_EQ(device->ReportsReceived(), 4u);
  EXPECT_EQ(device->ReportsSent(), 1u);
  EXPECT_TRUE(device->Faults().empty()) << FaultText();
}

}  // namespace
}  // namespace qv::sim
