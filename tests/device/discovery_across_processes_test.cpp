// Discovery against the real named mutex, held by a real second process.

#include <gtest/gtest.h>

#include <string>

#include "device/hid_link.h"
#include "fake_clock.h"
#include "fake_hid_bus.h"
#include "mutex_holder_process.h"
#include "platform/named_mutex.h"

namespace qv {
namespace {

using test::MutexHolderProcess;
using test::UniqueMutexName;

// The system's named mutexes under names private to this test run, so that a real updater or
// a parallel test on the machine is neither disturbed nor disturbs.
class PrivateSystemMutexes final : public NamedMutexSystem {
 public:
  NamedMutexResult Create(const std::string& name) override {
    return SystemNamedMutexes().Create(UniqueMutexName(name));
  }
};

TEST(DiscoveryAcrossProcessesTest, AHolderProcessBlocksDiscoveryUntilItIsKilled) {
  test::FakeClock clock;
  test::FakeHidBus bus;
  auto device = bus.Add("/dev/hidraw0");
  PrivateSystemMutexes mutexes;
  HidLink link(bus, mutexes, clock);

  MutexHolderProcess holder(QV_MUTEX_HOLDER, UniqueMutexName(kDeviceMutexName));
  ASSERT_EQ(holder.status(), "created");

  EXPECT_EQ(link.Discover(), 0u);
  EXPECT_FALSE(link.Connected());
  EXPECT_EQ(device->opens(), 1);
  EXPECT_EQ(device->open_ports(), 0);

  // The refused discovery kept nothing of the mutex: once the holder is gone, a new holder
  // gets it.
  holder.Kill();
  MutexHolderProcess next_holder(QV_MUTEX_HOLDER, UniqueMutexName(kDeviceMutexName));
  EXPECT_EQ(next_holder.status(), "created");
  next_holder.Kill();
  EXPECT_EQ(link.Discover(), 1u);

  // Now this process holds it: a second holder is refused, and gets it after the release.
  MutexHolderProcess refused(QV_MUTEX_HOLDER, UniqueMutexName(kDeviceMutexName));
  EXPECT_EQ(refused.status(), "exists");
  link.Release();
  MutexHolderProcess after_release(QV_MUTEX_HOLDER, UniqueMutexName(kDeviceMutexName));
  EXPECT_EQ(after_release.status(), "created");
}

}  // namespace
}  // namespace qv
