#include "device/hid_link.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>
#include <vector>

#include "link_fixture.h"

namespace qv {
namespace {

using test::FakeDevice;
using test::FakeHidBus;
using test::FakeNamedMutexes;
using test::LinkRig;
using test::LinkTest;

using test::TransferInProgress;

// Sends one data report through the link, as a command does.
ReportOutcome SendReport(HidLink& link) {
  static const std::array<uint8_t, kReportPayload> kData = [] {
    std::array<uint8_t, kReportPayload> data;
    data.fill(0x42);
    return data;
  }();
  return link.SendData(kData.data());
}

struct BusEntry {
  uint16_t vendor_id = 0x0416;
  uint16_t product_id = 0xB501;
  bool open_fails = false;
  bool attributes_fail = false;
};

struct DiscoveryCase {
  std::string name;
  std::vector<BusEntry> entries;
  bool enumeration_fails = false;
  NamedMutexStatus mutex = NamedMutexStatus::kCreated;
  unsigned expected;
  int taken;               // index of the entry taken, -1 for none
  std::vector<int> opens;  // opens per entry (successful opens only)
  bool mutex_kept;
};

TEST(HidLinkDiscoveryTest, TakesTheFirstMatchingDeviceOnly) {
  const BusEntry ok;
  const BusEntry wrong_vendor{0x0417, 0xB501, false, false};
  const BusEntry wrong_product{0x0416, 0xB502, false, false};
  const BusEntry unopenable{0x0416, 0xB501, true, false};
  const BusEntry no_attributes{0x0416, 0xB501, false, true};
  const std::vector<DiscoveryCase> cases = {
      {"nothing attached", {}, false, NamedMutexStatus::kCreated, 0, -1, {}, false},
      {"one device", {ok}, false, NamedMutexStatus::kCreated, 1, 0, {1}, true},
      {"two devices: first taken, second not even opened",
       {ok, ok},
       false,
       NamedMutexStatus::kCreated,
       1,
       0,
       {1, 0},
       true},
      {"wrong vendor on the open port",
       {wrong_vendor, ok},
       false,
       NamedMutexStatus::kCreated,
       1,
       1,
       {1, 1},
       true},
      {"wrong product on the open port",
       {wrong_product, ok},
       false,
       NamedMutexStatus::kCreated,
       1,
       1,
       {1, 1},
       true},
      {"attributes unreadable",
       {no_attributes, ok},
       false,
       NamedMutexStatus::kCreated,
       1,
       1,
       {1, 1},
       true},
      {"open fails", {unopenable, ok}, false, NamedMutexStatus::kCreated, 1, 1, {0, 1}, true},
      {"enumeration fails", {ok}, true, NamedMutexStatus::kCreated, 0, -1, {0}, false},
      {"mutex held elsewhere: none taken, even the next one",
       {ok, ok},
       false,
       NamedMutexStatus::kAlreadyExists,
       0,
       -1,
       {1, 0},
       false},
      {"mutex cannot be created: taken without it",
       {ok},
       false,
       NamedMutexStatus::kFailed,
       1,
       0,
       {1},
       false},
  };
  for (const DiscoveryCase& c : cases) {
    SCOPED_TRACE(c.name);
    LinkRig rig;
    std::vector<std::shared_ptr<FakeDevice>> devices;
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      const std::string path = "/dev/hidraw" + std::to_string(i);
      devices.push_back(rig.bus.Add(path, c.entries[i].vendor_id, c.entries[i].product_id));
      devices.back()->SetAttributesFail(c.entries[i].attributes_fail);
      if (c.entries[i].open_fails) rig.bus.FailOpen(path);
    }
    rig.bus.FailEnumeration(c.enumeration_fails);
    rig.mutexes.ForceStatus(c.mutex);

    EXPECT_EQ(rig.link.Discover(), c.expected);
    EXPECT_EQ(rig.link.Connected(), c.expected == 1);
    EXPECT_EQ(rig.mutexes.held(), c.mutex_kept ? 1 : 0);
    for (std::size_t i = 0; i < devices.size(); ++i) {
      EXPECT_EQ(devices[i]->opens(), c.opens[i]) << "entry " << i;
      // Only the taken device stays open; every other one was closed again at once.
      EXPECT_EQ(devices[i]->open_ports(), static_cast<int>(i) == c.taken ? 1 : 0) << "entry " << i;
    }
    if (c.taken >= 0) {
      EXPECT_TRUE(SendReport(rig.link).moved);
      EXPECT_EQ(devices[c.taken]->written().size(), 1u);
    }
  }
}

TEST_F(LinkTest, DiscoveryAsksForTheDeviceMutexByName) {
  ConnectDevice();
  EXPECT_EQ(mutexes_.last_name(), "QV_UPDATER");
}

TEST_F(LinkTest, ReleaseLetsGoOfPortAndMutexAfterACancelPulse) {
  auto device = ConnectDevice();
  link_.Release();
  EXPECT_FALSE(link_.Connected());
  EXPECT_EQ(device->open_ports(), 0);
  EXPECT_EQ(mutexes_.held(), 0);
  EXPECT_EQ(clock_.slept_ms(), 10u);
  const ReportOutcome after = SendReport(link_);
  EXPECT_FALSE(after.moved);
  EXPECT_EQ(after.payload, 0u);
  EXPECT_EQ(device->written().size(), 0u);

  // Nothing held: no pulse, nothing slept.
  link_.Release();
  EXPECT_EQ(clock_.slept_ms(), 10u);
}

TEST_F(LinkTest, DiscoveryWhileHeldReleasesFirstAndFindsTheDeviceAgain) {
  auto device = ConnectDevice();
  EXPECT_EQ(link_.Discover(), 1u);
  EXPECT_EQ(device->opens(), 2);
  EXPECT_EQ(device->open_ports(), 1);
  EXPECT_EQ(mutexes_.held(), 1);
  EXPECT_EQ(clock_.slept_ms(), 10u);
}

TEST(HidLinkTest, DestroyingTheLinkReleasesTheDevice) {
  FakeHidBus bus;
  FakeNamedMutexes mutexes;
  test::FakeClock clock;
  auto device = bus.Add("/dev/hidraw0");
  {
    HidLink link(bus, mutexes, clock);
    ASSERT_EQ(link.Discover(), 1u);
  }
  EXPECT_EQ(device->open_ports(), 0);
  EXPECT_EQ(mutexes.held(), 0);
}

TEST_F(LinkTest, EveryExchangeGivesUpTheLockAfterFiveTriesWhileAnotherOneIsInProgress) {
  auto device = ConnectDevice();
  device->QueueWholeInputs(1);
  {
    TransferInProgress other(link_, *device);
    std::array<uint8_t, kReportPayload> answer{};
    EXPECT_FALSE(SendReport(link_).moved);
    EXPECT_FALSE(link_.SendCommand(CommandFrame::Make(CMD_QUERY, 0x80, 1)).moved);
    EXPECT_FALSE(link_.ReadAnswer(answer).moved);
    // Five tries 200 ms apart for each of the three; nothing went out or came in meanwhile.
    EXPECT_EQ(clock_.slept_ms(), 3000u);
    EXPECT_EQ(device->written().size(), 1u);
    EXPECT_EQ(device->reads(), 0);
  }
  // The other exchange has ended: the lock is taken at the first try.
  EXPECT_TRUE(SendReport(link_).moved);
  EXPECT_EQ(clock_.slept_ms(), 3000u);
}

TEST_F(LinkTest, ExchangesCountThePayloadWithoutTheReportNumber) {
  auto device = ConnectDevice();
  const ReportOutcome sent = SendReport(link_);
  EXPECT_TRUE(sent.moved);
  EXPECT_EQ(sent.payload, 64u);
  EXPECT_EQ(device->written().at(0), test::ReportOf({}, 0x42));

  device->QueueInput(std::vector<uint8_t>(64, 0x33));
  device->QueueInput(std::vector<uint8_t>(5, 0x44));
  std::array<uint8_t, kReportPayload> answer;
  answer.fill(0);
  ReportOutcome read = link_.ReadAnswer(answer);
  EXPECT_TRUE(read.moved);
  EXPECT_EQ(read.payload, 64u);
  EXPECT_EQ(answer[63], 0x33);
  // A short report fills only its own bytes of the answer.
  answer.fill(0);
  read = link_.ReadAnswer(answer);
  EXPECT_TRUE(read.moved);
  EXPECT_EQ(read.payload, 5u);
  EXPECT_EQ(answer[4], 0x44);
  EXPECT_EQ(answer[5], 0x00);
  // An answer smaller than the report takes what fits.
  device->QueueInput(std::vector<uint8_t>(64, 0x55));
  std::array<uint8_t, 2> small{};
  read = link_.ReadAnswer(small);
  EXPECT_EQ(read.payload, 64u);
  EXPECT_EQ(small, (std::array<uint8_t, 2>{0x55, 0x55}));

  device->QueueWriteResult(-1);
  const ReportOutcome failed = SendReport(link_);
  EXPECT_FALSE(failed.moved);
  EXPECT_EQ(failed.payload, 0u);
}

// A release from another thread whose whole cancel pulse falls inside one blocking call.
TEST(HidLinkTest, ACancelDuringATransferFailsItEvenThoughTheReportWasMoved) {
  for (const bool reading : {false, true}) {
    SCOPED_TRACE(reading ? "read" : "write");
    LinkRig rig;
    auto device = rig.Connect();
    device->QueueWholeInputs(2);
    int ports_during_transfer = -1;
    const auto release = [&] {
      rig.link.Release();
      ports_during_transfer = device->open_ports();
    };
    if (reading) {
      device->OnRead(release);
    } else {
      device->OnWrite(release);
    }
    const ReportOutcome outcome = reading ? rig.link.ReadAnswer({}) : SendReport(rig.link);
    EXPECT_FALSE(outcome.moved);
    EXPECT_EQ(device->written().size(), reading ? 0u : 1u);
    EXPECT_EQ(device->reads(), reading ? 1 : 0);
    // The release did not close the port under the transfer; it went once the transfer let go.
    EXPECT_EQ(ports_during_transfer, 1);
    EXPECT_EQ(device->open_ports(), 0);

    // The cancel is not left behind: the next device's transfers go through.
    device->OnRead(nullptr);
    device->OnWrite(nullptr);
    ASSERT_EQ(rig.link.Discover(), 1u);
    EXPECT_TRUE(SendReport(rig.link).moved);
    EXPECT_TRUE(rig.link.ReadAnswer({}).moved);
  }
}

TEST(HidLinkTest, ReadsOfAnUnansweringDeviceEnd) {
  struct Case {
    std::string name;
    bool clock_moves;
    int result;  // what every read slice gives
  };
  const Case cases[] = {
      {"slices time out on a moving clock", true, 0},
      {"slices time out, clock stands still", false, 0},
      {"device gone", false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LinkRig rig;
    auto device = rig.Connect();
    if (c.clock_moves) device->AdvanceClockOnEmptyRead(&rig.clock);
    if (c.result < 0) device->QueueReadResult(c.result);
    const ReportOutcome read = rig.link.ReadAnswer({});
    EXPECT_FALSE(read.moved);
    EXPECT_EQ(read.payload, 0u);
    EXPECT_EQ(device->reads(), c.result < 0 ? 1 : 200);
  }
}

TEST_F(LinkTest, ReleaseFromAnotherThreadEndsAWaitingReadPromptly) {
  auto device = ConnectDevice();
  device->WaitRealTimeOnEmptyRead(true);
  std::thread releaser([&] {
    while (device->reads() < 3) std::this_thread::yield();
    link_.Release();
  });
  // Ten minutes of slices if nothing ended it.
  EXPECT_FALSE(link_.ReadAnswer({}, 600000).moved);
  releaser.join();
  EXPECT_LT(device->reads(), 1000);
  EXPECT_EQ(device->open_ports(), 0);
  EXPECT_FALSE(link_.Connected());
}

}  // namespace
}  // namespace qv
