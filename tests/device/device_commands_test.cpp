#include "device/device_commands.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "device/command_frame.h"
#include "link_fixture.h"
#include "platform/little_endian.h"

namespace qv {
namespace {

using test::FakeDevice;
using test::LinkRig;
using test::LinkTest;
using test::TransferInProgress;

// Counts the hook calls; the write's hooks are not under test here.
class CountingHooks final : public WriteHooks {
 public:
  void ProgressStep() override { ++progress; }
  void TimeStep() override { ++time; }
  int progress = 0;
  int time = 0;
};

std::vector<uint8_t> Pattern(std::size_t size) {
  std::vector<uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  return data;
}

uint8_t OpcodeOf(const Report& report) {
  return report[1];
}
uint32_t Param1Of(const Report& report) {
  return LoadLe32(&report[3]);
}
uint32_t Param2Of(const Report& report) {
  return LoadLe32(&report[7]);
}

enum class Scenario { kNoDevice, kLockGivenUp, kReportNotMoved, kSuccess };

struct CommandCase {
  std::string name;
  std::function<uint32_t(HidLink&)> run;  // 1/0 for done/failed; the query its payload count
  int input_reports;  // what the device answers on success
  // Results for no device, lock given up, report not moved, success.
  std::array<uint32_t, 4> expected;
};

TEST(DeviceCommandsTest, EveryCommandGivesItsResultForEveryOutcome) {
  static const std::vector<uint8_t> kData = Pattern(512);
  const std::vector<CommandCase> cases = {
      {"erase", [](HidLink& l) -> uint32_t { return EraseCommand(l, 3, 5); }, 4, {0, 0, 0, 1}},
      {"write",
       [](HidLink& l) -> uint32_t {
         CountingHooks hooks;
         return WriteCommand(l, kData.data(), 8, 2, hooks);
       },
       0,
       {0, 0, 0, 1}},
      // Reset fails only without a device; set-layout and over count as done without one.
      {"reset", [](HidLink& l) -> uint32_t { return ResetCommand(l); }, 0, {0, 1, 1, 1}},
      {"set-layout",
       [](HidLink& l) -> uint32_t { return SetLayoutCommand(l, 1, 2, 3); },
       0,
       {1, 0, 0, 1}},
      {"over", [](HidLink& l) -> uint32_t { return OverCommand(l); }, 0, {1, 0, 0, 1}},
      {"query",
       [](HidLink& l) {
         std::array<uint8_t, 64> answer{};
         return QueryExchange(l, answer);
       },
       1,
       {0, 0, 0, 64}},
  };
  const Scenario scenarios[] = {Scenario::kNoDevice, Scenario::kLockGivenUp,
                                Scenario::kReportNotMoved, Scenario::kSuccess};
  for (const CommandCase& c : cases) {
    for (std::size_t s = 0; s < std::size(scenarios); ++s) {
      SCOPED_TRACE(c.name + " scenario " + std::to_string(s));
      LinkRig rig;
      HidLink& link = rig.link;
      std::shared_ptr<FakeDevice> device;
      if (scenarios[s] != Scenario::kNoDevice) {
        device = rig.Connect();
        device->QueueWholeInputs(c.input_reports);
      }
      if (scenarios[s] == Scenario::kLockGivenUp) {
        // Another thread's report is on its way while the command runs.
        TransferInProgress other(link, *device);
        EXPECT_EQ(c.run(link), c.expected[s]);
        // Only the other thread's report went out.
        EXPECT_EQ(device->written().size(), 1u);
        // Five tries 200 ms apart; over adds the 10 ms cancel pulse of its release.
        EXPECT_EQ(rig.clock.slept_ms(), c.name == "over" ? 1010u : 1000u);
      } else {
        if (scenarios[s] == Scenario::kReportNotMoved) device->QueueWriteResult(-1);
        EXPECT_EQ(c.run(link), c.expected[s]);
      }
      if (scenarios[s] == Scenario::kReportNotMoved) {
        EXPECT_EQ(device->written().size(), 1u);
      }
      if (c.name == "over") {
        // Over lets the device go on every path.
        EXPECT_FALSE(link.Connected());
        if (device) {
          EXPECT_EQ(device->open_ports(), 0);
        }
      }
    }
  }
}

TEST_F(LinkTest, WriteSendsEveryPageAsFourDataReportsWithHooksBetweenThem) {
  auto device = ConnectDevice();
  constexpr uint32_t kPages = 65;  // 16640 bytes: past one time step
  const std::vector<uint8_t> data = Pattern(kPages * 256);

  struct Hooks final : WriteHooks {
    explicit Hooks(FakeDevice& device) : device(device) {}
    void ProgressStep() override { Record(progress_at); }
    void TimeStep() override { Record(time_at); }
    void Record(std::vector<std::size_t>& at) {
      // Data reports sent so far (the first report is the command).
      at.push_back(device.written().size() - 1);
    }
    FakeDevice& device;
    std::vector<std::size_t> progress_at;
    std::vector<std::size_t> time_at;
  } hooks(*device);

  EXPECT_TRUE(WriteCommand(link_, data.data(), 0x1234, kPages, hooks));

  const auto written = device->written();
  ASSERT_EQ(written.size(), 1 + kPages * 4);
  EXPECT_EQ(OpcodeOf(written[0]), CMD_WRITE);
  EXPECT_EQ(Param1Of(written[0]), 0x1234u);
  EXPECT_EQ(Param2Of(written[0]), kPages);
  for (std::size_t i = 1; i < written.size(); ++i) {
    EXPECT_EQ(written[i][0], 0);
    ASSERT_TRUE(std::equal(written[i].begin() + 1, written[i].end(), data.begin() + (i - 1) * 64))
        << "data report " << i;
  }
  std::vector<std::size_t> every_kib;
  for (std::size_t r = 0; r < kPages * 4; r += 16) every_kib.push_back(r);
  EXPECT_EQ(hooks.progress_at, every_kib);
  EXPECT_EQ(hooks.time_at, (std::vector<std::size_t>{0, 256}));
}

// Write outcomes beyond the plain ones: what was sent, what came back.
TEST(DeviceCommandsTest, WriteFailuresAndEmptyWrites) {
  struct Case {
    std::string name;
    uint32_t pages;
    std::vector<int> write_results;  // command report first
    uint32_t expected;
    std::size_t reports_sent;
  };
  const Case cases[] = {
      {"no pages: command only, which counts as failure", 0, {}, 0, 1},
      {"unplugged after two data reports", 2, {65, 65, 65, -1}, 0, 4},
      // A report moved only in part would shift every later one past the data's end.
      {"data report moved in part", 2, {65, 30}, 0, 2},
      {"data report with only its number moved", 2, {65, 1}, 0, 2},
  };
  const std::vector<uint8_t> data = Pattern(512);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LinkRig rig;
    HidLink& link = rig.link;
    auto device = rig.Connect();
    for (int r : c.write_results) device->QueueWriteResult(r);
    CountingHooks hooks;
    EXPECT_EQ(WriteCommand(link, data.data(), 0, c.pages, hooks), c.expected != 0);
    EXPECT_EQ(device->written().size(), c.reports_sent);
    EXPECT_TRUE(link.Connected());  // nothing is taken back or released
    if (c.pages == 0) {
      EXPECT_EQ(hooks.progress + hooks.time, 0);
    }
  }
}

TEST_F(LinkTest, WriteRefusesAPageCountWhoseByteCountCannotBeReturned) {
  auto device = ConnectDevice();
  CountingHooks hooks;
  const uint8_t byte = 0;
  EXPECT_FALSE(WriteCommand(link_, &byte, 0, 0x01000000, hooks));
  EXPECT_FALSE(WriteCommand(link_, nullptr, 0, 1, hooks));
  EXPECT_TRUE(device->written().empty());
}

TEST(DeviceCommandsTest, EraseSendsEraseThenReadbackAndWaitsForAllOfIt) {
  struct Case {
    std::string name;
    uint32_t sectors;
    std::vector<std::vector<uint8_t>> inputs;  // payloads the device answers
    uint32_t expected;
    int reads;
  };
  const std::vector<uint8_t> whole(64, 0xEE);
  const std::vector<uint8_t> half(32, 0xEE);
  const std::vector<Case> cases = {
      {"whole reports", 7, {whole, whole, whole, whole}, 7, 4},
      {"no sectors still runs the exchange", 0, {whole, whole, whole, whole}, 0, 4},
      {"half reports", 2, std::vector<std::vector<uint8_t>>(8, half), 2, 8},
      // A report without payload would never complete the read-back.
      {"empty report", 2, {whole, {}}, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LinkRig rig;
    HidLink& link = rig.link;
    auto device = rig.Connect();
    for (const auto& payload : c.inputs) device->QueueInput(payload);
    EXPECT_EQ(EraseCommand(link, 0x20, c.sectors), c.expected != 0);
    EXPECT_EQ(device->reads(), c.reads);
    const auto written = device->written();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(OpcodeOf(written[0]), CMD_ERASE);
    EXPECT_EQ(Param1Of(written[0]), 0x20u);
    EXPECT_EQ(Param2Of(written[0]), c.sectors);
    EXPECT_EQ(OpcodeOf(written[1]), CMD_READBACK);
    EXPECT_EQ(LoadLe32(&written[1][15]), 0x667u);
  }
}

TEST_F(LinkTest, EraseFailsWhenTheReadbackDoesNotArrive) {
  auto device = ConnectDevice();
  device->QueueWholeInputs(2);
  device->QueueReadResult(-1);  // unplugged mid-way
  EXPECT_FALSE(EraseCommand(link_, 0, 4));
  EXPECT_EQ(device->reads(), 3);
}

// A silent device ends every read after a bound that leaves room for the chip's work.
TEST(DeviceCommandsTest, ReadsOfASilentDeviceEndAfterTheirBound) {
  struct Case {
    std::string name;
    std::function<uint32_t(HidLink&)> run;
    uint32_t waited_ms;
  };
  const Case cases[] = {
      {"query",
       [](HidLink& l) {
         std::array<uint8_t, 64> a{};
         return QueryExchange(l, a);
       },
       2000},
      {"erase 0 sectors", [](HidLink& l) { return EraseCommand(l, 0, 0); }, 1000},
      {"erase 10 sectors", [](HidLink& l) { return EraseCommand(l, 0, 10); }, 4400},
      {"erase 2048 sectors", [](HidLink& l) { return EraseCommand(l, 0, 2048); }, 1000 + 696320},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LinkRig rig;
    auto device = rig.Connect();
    device->AdvanceClockOnEmptyRead(&rig.clock);
    const uint32_t before = rig.clock.TickMs();
    EXPECT_EQ(c.run(rig.link), 0u);
    EXPECT_EQ(rig.clock.TickMs() - before, c.waited_ms);
  }
}

TEST_F(LinkTest, SetLayoutSendsTheBlockInFourDataReports) {
  auto device = ConnectDevice();
  EXPECT_TRUE(SetLayoutCommand(link_, 0x12345, 0x0300, 0xFFFF));
  const auto written = device->written();
  ASSERT_EQ(written.size(), 5u);
  EXPECT_EQ(OpcodeOf(written[0]), CMD_SET_LAYOUT);
  EXPECT_EQ(LoadLe32(&written[0][15]), 0x663u);
  const std::vector<uint8_t> head(written[1].begin() + 1, written[1].begin() + 7);
  EXPECT_EQ(head, (std::vector<uint8_t>{0x45, 0x23, 0x00, 0x03, 0xFF, 0xFF}));
  for (std::size_t r = 1; r < 5; ++r) {
    const std::size_t first = (r == 1) ? 7 : 1;
    EXPECT_TRUE(std::all_of(written[r].begin() + first, written[r].end(),
                            [](uint8_t b) { return b == 0xFF; }))
        << "report " << r;
  }
}

TEST(DeviceCommandsTest, SetLayoutFailsOnADataReportNotMovedWhole) {
  struct Case {
    std::string name;
    std::vector<int> write_results;
    std::size_t reports_sent;
  };
  const Case cases[] = {
      {"third data report fails", {65, 65, 65, -1}, 4},
      {"second data report moved in part", {65, 65, 10}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LinkRig rig;
    HidLink& link = rig.link;
    auto device = rig.Connect();
    for (int r : c.write_results) device->QueueWriteResult(r);
    EXPECT_FALSE(SetLayoutCommand(link, 1, 2, 3));
    EXPECT_EQ(device->written().size(), c.reports_sent);
  }
}

TEST(DeviceCommandsTest, QueryFillsTheAnswerWithWhatCameAndFFBeyond) {
  struct Case {
    std::string name;
    int read_result;  // 0: queue the payload below as an input report
    std::vector<uint8_t> payload;
    uint32_t expected;
  };
  std::vector<uint8_t> whole(64);
  for (std::size_t i = 0; i < whole.size(); ++i) whole[i] = static_cast<uint8_t>(i);
  const std::vector<Case> cases = {
      {"whole answer", 0, whole, 64},
      {"short answer", 0, {'P', 1, 2, 3, 4, 5, 6, 7, 8, 9}, 10},
      {"read fails", -1, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LinkRig rig;
    HidLink& link = rig.link;
    auto device = rig.Connect();
    if (c.read_result == 0) {
      device->QueueInput(c.payload);
    } else {
      device->QueueReadResult(c.read_result);
    }
    std::array<uint8_t, 64> answer;
    answer.fill(0x00);
    EXPECT_EQ(QueryExchange(link, answer), c.expected);
    for (std::size_t i = 0; i < answer.size(); ++i) {
      const uint8_t want = i < c.expected ? c.payload[i] : 0xFF;
      ASSERT_EQ(answer[i], want) << "byte " << i;
    }
    const auto written = device->written();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(OpcodeOf(written[0]), CMD_QUERY);
  }
}

TEST(DeviceCommandsTest, QueryWithoutDeviceStillFillsTheAnswer) {
  LinkRig rig;
  std::array<uint8_t, 64> answer{};
  EXPECT_EQ(QueryExchange(rig.link, answer), 0u);
  EXPECT_TRUE(std::all_of(answer.begin(), answer.end(), [](uint8_t b) { return b == 0xFF; }));
}

}  // namespace
}  // namespace qv
