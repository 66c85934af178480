#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/hid_link.h"
#include "fake_clock.h"
#include "fake_hid_bus.h"

namespace qv::test {

// A link over a scripted bus, mutexes and clock.
struct LinkRig {
  // Adds one matching device and takes it.
  std::shared_ptr<FakeDevice> Connect() {
    auto device = bus.Add("/dev/hidraw0");
    EXPECT_EQ(link.Discover(), 1u);
    return device;
  }

  FakeClock clock;
  FakeHidBus bus;
  FakeNamedMutexes mutexes;
  HidLink link{bus, mutexes, clock};
};

// The same rig as a fixture, for tests with one scenario.
class LinkTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeDevice> ConnectDevice() { return rig_.Connect(); }

  LinkRig rig_;
  FakeClock& clock_ = rig_.clock;
  FakeHidBus& bus_ = rig_.bus;
  FakeNamedMutexes& mutexes_ = rig_.mutexes;
  HidLink& link_ = rig_.link;
};

// Report number 0, then the given bytes, then fill up to 65 bytes.
inline Report ReportOf(const std::vector<uint8_t>& bytes, uint8_t fill) {
  Report report;
  report.fill(fill);
  report[0] = 0;
  for (std::size_t i = 0; i < bytes.size() && i + 1 < report.size(); ++i) report[i + 1] = bytes[i];
  return report;
}

}  // namespace qv::test
