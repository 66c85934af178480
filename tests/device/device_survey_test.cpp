#include "device/device_survey.h"

#include <gtest/gtest.h>

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
  EXPECT_FALSE(survey.interfaces[0].opened);
  EXPECT_TRUE(survey.interfaces[1].opened);
  EXPECT_EQ(survey.interfaces[1].product_id, 0xB502);
  EXPECT_FALSE(survey.interfaces[1].matches);
  EXPECT_TRUE(survey.interfaces[2].matches);
  EXPECT_TRUE(survey.interfaces[3].matches);
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
  EXPECT_TRUE(survey.interfaces.at(0).matches);
  EXPECT_FALSE(survey.would_take.has_value());
}

}  // namespace
}  // namespace qv
