#include "device/hid_link.h"

#include <gtest/gtest.h>

#include <atomic>
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

// Writes one report through the link, as a command does.
bool SendReport(HidLink& link, uint32_t& count) {
  if (!link.TakeLock()) return false;
  link.report_buffer().fill(0x42);
  const bool moved = link.Transfer(TransferDirection::kWrite, count);
  link.LeaveLock();
  return moved;
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
    EXPECT_EQ(rig.link.HoldsNamedMutex(), c.mutex_kept);
    EXPECT_EQ(rig.mutexes.held(), c.mutex_kept ? 1 : 0);
    for (std::size_t i = 0; i < devices.size(); ++i) {
      EXPECT_EQ(devices[i]->opens(), c.opens[i]) << "entry " << i;
      // Only the taken device stays open; every other one was closed again at once.
      EXPECT_EQ(devices[i]->open_ports(), static_cast<int>(i) == c.taken ? 1 : 0) << "entry " << i;
    }
    if (c.taken >= 0) {
      uint32_t count = 0;
      EXPECT_TRUE(SendReport(rig.link, count));
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
  EXPECT_FALSE(link_.HoldsNamedMutex());
  EXPECT_EQ(device->open_ports(), 0);
  EXPECT_EQ(mutexes_.held(), 0);
  EXPECT_EQ(clock_.slept_ms(), 10u);
  uint32_t count = 7;
  EXPECT_FALSE(SendReport(link_, count));
  EXPECT_EQ(count, 0u);

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

TEST_F(LinkTest, LockIsGivenUpAfterFiveTriesWhileAnotherThreadHoldsIt) {
  std::atomic<bool> held{false};
  std::atomic<bool> done{false};
  std::thread holder([&] {
    ASSERT_TRUE(link_.TakeLock());
    held = true;
    while (!done) std::this_thread::yield();
    link_.LeaveLock();
  });
  while (!held) std::this_thread::yield();
  EXPECT_FALSE(link_.TakeLock());
  EXPECT_EQ(clock_.slept_ms(), 1000u);
  done = true;
  holder.join();
  EXPECT_TRUE(link_.TakeLock());
  EXPECT_EQ(clock_.slept_ms(), 1000u);
  link_.LeaveLock();
}

TEST_F(LinkTest, TransfersCountTheReportNumber) {
  auto device = ConnectDevice();
  uint32_t count = 0;
  ASSERT_TRUE(SendReport(link_, count));
  EXPECT_EQ(count, 65u);

  device->QueueInput(std::vector<uint8_t>(64, 0x33));
  device->QueueInput(std::vector<uint8_t>(5, 0x44));
  ASSERT_TRUE(link_.TakeLock());
  EXPECT_TRUE(link_.Transfer(TransferDirection::kRead, count));
  EXPECT_EQ(count, 65u);
  EXPECT_EQ(link_.report_buffer()[64], 0x33);
  EXPECT_TRUE(link_.Transfer(TransferDirection::kRead, count));
  EXPECT_EQ(count, 6u);
  link_.LeaveLock();

  device->QueueWriteResult(-1);
  count = 7;
  EXPECT_FALSE(SendReport(link_, count));
  EXPECT_EQ(count, 0u);
}

TEST_F(LinkTest, ACancelDuringATransferFailsItEvenThoughTheReportWasMoved) {
  auto device = ConnectDevice();
  // The release comes while the report is on its way, as it would from another thread.
  device->OnWrite([this] { link_.Release(); });
  uint32_t count = 0;
  EXPECT_FALSE(SendReport(link_, count));
  EXPECT_EQ(device->written().size(), 1u);
  EXPECT_EQ(device->open_ports(), 0);  // the port went once the transfer let go of it

  // The cancel is not left behind: the next device's transfers go through.
  device->OnWrite(nullptr);
  ASSERT_EQ(link_.Discover(), 1u);
  EXPECT_TRUE(SendReport(link_, count));
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
    ASSERT_TRUE(rig.link.TakeLock());
    uint32_t count = 9;
    EXPECT_FALSE(rig.link.Transfer(TransferDirection::kRead, count));
    rig.link.LeaveLock();
    EXPECT_EQ(count, 0u);
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
  ASSERT_TRUE(link_.TakeLock());
  uint32_t count = 0;
  // Ten minutes of slices if nothing ended it.
  EXPECT_FALSE(link_.ReadWithin(600000, count));
  link_.LeaveLock();
  releaser.join();
  EXPECT_LT(device->reads(), 1000);
  EXPECT_EQ(device->open_ports(), 0);
  EXPECT_FALSE(link_.Connected());
}

}  // namespace
}  // namespace qv
