#pragma once

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <thread>
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

// Another thread's report exchange in progress: the device holds its write until this object
// ends, so the link's lock stays taken meanwhile.
class TransferInProgress {
 public:
  TransferInProgress(HidLink& link, FakeDevice& device) : device_(device) {
    device_.StallWrites();
    thread_ = std::thread([&link] {
      static const std::array<uint8_t, kReportPayload> kData{};
      (void)link.SendData(kData.data());
    });
    device_.AwaitStalledWrite();
  }
  ~TransferInProgress() {
    device_.ResumeWrites();
    thread_.join();
  }
  TransferInProgress(const TransferInProgress&) = delete;
  TransferInProgress& operator=(const TransferInProgress&) = delete;

 private:
  FakeDevice& device_;
  std::thread thread_;
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
