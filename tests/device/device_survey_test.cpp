#include "device/device_survey.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "device/hid_link.h"
#include "fake_clock.h"
#include "fake_hid_bus.h"

namespace qv {
namespace {

using test::FakeHidBus;
using test::FakeNamedMutexes;

TEST(DeviceSurveyTest, ReportsEveryInterfaceAndTheOneDiscoveryWouldTake) {
  FakeHidBus bus;
  bus.FailOpen("/dev/hidraw0");
  auto unopenable = bus.Add("/dev/hidraw0");
  auto other = bus.Add("/dev/hidraw1", 0x0416, 0xB502);
  auto first = bus.Add("/dev/hidraw2");
  auto second = bus.Add("/dev/hidraw3");
  FakeNamedMutexes mutexes;

  const DeviceSurvey survey = SurveyDevices(bus, mutexes);
  EXPECT_TRUE(survey.enumerated);
  ASSERT_EQ(survey.interfaces.size(), 4u);
  EXPECT_EQ(survey.interfaces[0].state, InterfaceState::kNotOpened);
  EXPECT_EQ(survey.interfaces[1].state, InterfaceState::kOtherDevice);
  EXPECT_EQ(survey.interfaces[1].product_id, 0xB502);
  EXPECT_EQ(survey.interfaces[2].state, InterfaceState::kMatches);
  EXPECT_EQ(survey.interfaces[3].state, InterfaceState::kMatches);
  EXPECT_EQ(survey.would_take, 2u);
  EXPECT_EQ(survey.mutex, NamedMutexStatus::kCreated);
  // Nothing is kept: every port closed, the mutex let go.
  for (const auto& device : {unopenable, other, first, second}) EXPECT_EQ(device->open_ports(), 0);
  EXPECT_EQ(mutexes.held(), 0);
}

TEST(DeviceSurveyTest, NothingWouldBeTakenWhileAnotherProcessHoldsTheMutex) {
  FakeHidBus bus;
  bus.Add("/dev/hidraw0");
  FakeNamedMutexes mutexes;
  mutexes.ForceStatus(NamedMutexStatus::kAlreadyExists);
  const DeviceSurvey survey = SurveyDevices(bus, mutexes);
  EXPECT_EQ(survey.mutex, NamedMutexStatus::kAlreadyExists);
  EXPECT_EQ(survey.interfaces.at(0).state, InterfaceState::kMatches);
  EXPECT_FALSE(survey.would_take.has_value());
}

TEST(DeviceSurveyTest, WithoutAMatchTheMutexIsStillTriedAndLetGo) {
  FakeHidBus bus;
  bus.Add("/dev/hidraw0", 0x0416, 0xB502);
  FakeNamedMutexes mutexes;
  const DeviceSurvey survey = SurveyDevices(bus, mutexes);
  EXPECT_EQ(survey.mutex, NamedMutexStatus::kCreated);
  EXPECT_EQ(mutexes.creations(), 1);
  EXPECT_EQ(mutexes.held(), 0);
  EXPECT_FALSE(survey.would_take.has_value());
}

// The survey and discovery pick the same interface on every bus, and give the same reason
// when they pick none: a device this user may not open only when nothing else explains it.
TEST(DeviceSurveyTest, NamesTheInterfaceThatDiscoveryTakes) {
  enum Entry { kOk, kOther, kUnopenable, kNoAttributes, kDenied };
  struct Case {
    std::string name;
    std::vector<Entry> entries;
    NamedMutexStatus mutex;
    std::optional<std::size_t> taken;
    DiscoveryMiss miss;
  };
  const NamedMutexStatus kFree = NamedMutexStatus::kCreated;
  const NamedMutexStatus kHeld = NamedMutexStatus::kAlreadyExists;
  const std::vector<Case> cases = {
      {"empty", {}, kFree, std::nullopt, DiscoveryMiss::kNoDevice},
      {"two matches", {kOk, kOk}, kFree, 0, DiscoveryMiss::kNone},
      {"misfits first", {kUnopenable, kOther, kNoAttributes, kOk}, kFree, 3, DiscoveryMiss::kNone},
      {"no match", {kOther, kUnopenable}, kFree, std::nullopt, DiscoveryMiss::kNoDevice},
      {"mutex held elsewhere", {kOk, kOk}, kHeld, std::nullopt, DiscoveryMiss::kBusy},
      {"mutex cannot be created",
       {kOther, kOk},
       NamedMutexStatus::kFailed,
       1,
       DiscoveryMiss::kNone},
      {"access denied", {kUnopenable, kDenied}, kFree, std::nullopt, DiscoveryMiss::kAccessDenied},
      {"denied, then one to open", {kDenied, kOk}, kFree, 1, DiscoveryMiss::kNone},
      {"denied, and one held elsewhere", {kDenied, kOk}, kHeld, std::nullopt, DiscoveryMiss::kBusy},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHidBus bus;
    std::vector<std::shared_ptr<test::FakeDevice>> devices;
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      const std::string path = "/dev/hidraw" + std::to_string(i);
      devices.push_back(bus.Add(path, 0x0416, c.entries[i] == kOther ? 0xB502 : 0xB501));
      devices.back()->SetAttributesFail(c.entries[i] == kNoAttributes);
      if (c.entries[i] == kUnopenable) bus.FailOpen(path);
      if (c.entries[i] == kDenied) bus.DenyAccess(path);
    }
    FakeNamedMutexes mutexes;
    mutexes.ForceStatus(c.mutex);
    test::FakeClock clock;
    HidLink link(bus, mutexes, clock);

    const DeviceSurvey survey = SurveyDevices(bus, mutexes);
    EXPECT_EQ(survey.would_take, c.taken);
    EXPECT_EQ(MissOf(survey), c.miss);
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      EXPECT_EQ(survey.interfaces.at(i).state == InterfaceState::kAccessDenied,
                c.entries[i] == kDenied)
          << "entry " << i;
    }
    EXPECT_EQ(link.Discover(), c.taken ? 1u : 0u);
    EXPECT_EQ(link.LastMiss(), c.miss);
    for (std::size_t i = 0; i < devices.size(); ++i) {
      EXPECT_EQ(devices[i]->open_ports(), c.taken == i ? 1 : 0) << "entry " << i;
    }
  }
}

}  // namespace
}  // namespace qv
