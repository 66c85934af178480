// The run lock: held by a run through the device's reset, it keeps discovery in every other
// process from taking a device, also while the device mutex is free.

#include "device/run_lock.h"

#include <gtest/gtest.h>

#include "device/hid_link.h"
#include "fake_clock.h"
#include "fake_hid_bus.h"
#include "in_process_mutexes.h"

namespace qv {
namespace {

TEST(RunLockTest, AnotherLinksRunKeepsDiscoveryFromTakingADevice) {
  test::FakeClock clock;
  test::FakeHidBus bus;
  bus.Add("/dev/hidraw0");
  test::InProcessMutexes machine;  // one name space; each link stands for one process
  HidLink running(bus, machine, clock);
  HidLink other(bus, machine, clock);

  {
    const RunLockHold run(running.run_lock());
    ASSERT_TRUE(run.held());
    // The running process has let its device go, as it does for the reset.
    EXPECT_EQ(machine.held(kDeviceMutexName), 0);
    EXPECT_TRUE(other.run_lock().HeldElsewhere());
    EXPECT_EQ(other.Discover(), 0u);
    EXPECT_FALSE(other.Connected());
    EXPECT_EQ(machine.held(kDeviceMutexName), 0);
    // The run itself still finds its device.
    EXPECT_FALSE(running.run_lock().HeldElsewhere());
    EXPECT_EQ(running.Discover(), 1u);
    running.Release();
    // Nor can the other process start a run of its own meanwhile.
    EXPECT_FALSE(other.run_lock().Acquire());
  }
  EXPECT_EQ(machine.held(kRunMutexName), 0);
  EXPECT_EQ(other.Discover(), 1u);
}

TEST(RunLockTest, HoldersInOneProcessShareTheLock) {
  test::InProcessMutexes machine;
  RunLock lock(machine);
  ASSERT_TRUE(lock.Acquire());  // a station session
  ASSERT_TRUE(lock.Acquire());  // a run inside it
  lock.Release();
  EXPECT_EQ(machine.held(kRunMutexName), 1);
  EXPECT_FALSE(lock.HeldElsewhere());
  lock.Release();
  EXPECT_EQ(machine.held(kRunMutexName), 0);
  lock.Release();  // one too many is harmless
  EXPECT_EQ(machine.held(kRunMutexName), 0);
}

}  // namespace
}  // namespace qv
