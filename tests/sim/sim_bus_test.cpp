#include "sim/sim_bus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim/sim_device_model.h"
#include "sim_fixture.h"

namespace qv::sim {
namespace {

using test::QueryReport;

class SimBusTest : public test::SimFixture {
 public:
  std::vector<std::string> Paths(uint16_t vendor_id = 0x0416, uint16_t product_id = 0xB501) {
    std::vector<HidInterfaceInfo> found;
    EXPECT_TRUE(bus.Enumerate(vendor_id, product_id, found));
    std::vector<std::string> paths;
    for (const HidInterfaceInfo& info : found) paths.push_back(info.path);
    return paths;
  }
};

TEST_F(SimBusTest, ResetLeavesTheBusForItsAbsenceAndComesBackWithTheSameFlash) {
  Erase(0, 1);
  WritePages(0, 1, {0x5A});
  Send(test::ResetReport());
  const std::string path = device->path();
  EXPECT_TRUE(Paths().empty());
  EXPECT_EQ(bus.Open(path), nullptr);
  EXPECT_EQ(port->WriteReport(QueryReport()), -1);
  Report report{};
  EXPECT_EQ(port->ReadReport(report, 10), -1);

  clock.Advance(499);
  EXPECT_TRUE(Paths().empty());
  clock.Advance(1);
  EXPECT_EQ(Paths(), std::vector<std::string>{path});
  // The handle from before the reset stays dead; a new one works.
  EXPECT_EQ(port->WriteReport(QueryReport()), -1);
  port = bus.Open(path);
  ASSERT_NE(port, nullptr);
  Send(QueryReport());
  EXPECT_EQ(ReadPayload(64, 10).size(), 64u);
  EXPECT_EQ(device->FlashImage()[0], 0x5A);
  EXPECT_TRUE(device->Faults().empty()) << FaultText();
}

TEST_F(SimBusTest, DeviceThatNeverReturnsAfterReset) {
  SimDeviceConfig config;
  config.never_return_after_reset = true;
  Replug(config);
  Send(test::ResetReport());
  clock.Advance(3'600'000);
  EXPECT_TRUE(Paths().empty());
  EXPECT_TRUE(bus.Devices().empty());
}

// As a hidraw node may, the device comes back under a new path; its serial number stays.
TEST_F(SimBusTest, DeviceCanReturnUnderANewPathWithItsSerialNumber) {
  SimDeviceConfig config;
  config.new_path_after_reset = true;
  Replug(config);
  const std::string old_path = device->path();
  std::vector<HidInterfaceInfo> before;
  ASSERT_TRUE(bus.Enumerate(0x0416, 0xB501, before));
  ASSERT_EQ(before.size(), 1u);
  Send(test::ResetReport());
  clock.Advance(500);
  std::vector<HidInterfaceInfo> after;
  ASSERT_TRUE(bus.Enumerate(0x0416, 0xB501, after));
  ASSERT_EQ(after.size(), 1u);
  EXPECT_NE(after[0].path, old_path);
  EXPECT_EQ(after[0].serial_number, before[0].serial_number);
  EXPECT_FALSE(after[0].serial_number.empty());
  EXPECT_EQ(bus.Open(old_path), nullptr);
  port = bus.Open(after[0].path);
  ASSERT_NE(port, nullptr);
  Send(QueryReport());
  EXPECT_EQ(ReadPayload(64, 10).size(), 64u);
}

TEST_F(SimBusTest, FailedReportIsNotMovedAndTheDeviceStays) {
  SimDeviceConfig config;
  config.fail_report = 2;  // the answer to the query
  Replug(config);
  Send(QueryReport());
  Report report{};
  EXPECT_EQ(port->ReadReport(report, 10), -1);
  EXPECT_EQ(device->ReportsSent(), 0u);
  EXPECT_EQ(port->ReadReport(report, 10), 65);  // the answer was kept
  EXPECT_EQ(report[1], 'P');

  config.fail_report = 1;  // a host report
  Replug(config);
  EXPECT_EQ(port->WriteReport(QueryReport()), -1);
  EXPECT_TRUE(device->Commands().empty());
  Send(QueryReport());
  EXPECT_EQ(device->Commands().size(), 1u);
}

TEST_F(SimBusTest, VanishingDeviceLeavesForGood) {
  SimDeviceConfig config;
  config.vanish_report = 3;
  Replug(config);
  SendCommand(0xA1, 0, 1);
  Send(test::ReadbackReport());
  Report report{};
  EXPECT_EQ(port->ReadReport(report, 10), -1);  // the third report: the device vanishes
  EXPECT_TRUE(Paths().empty());
  EXPECT_EQ(port->WriteReport(QueryReport()), -1);
  clock.Advance(100'000);
  EXPECT_TRUE(Paths().empty());
  EXPECT_EQ(bus.Open(device->path()), nullptr);
}

TEST_F(SimBusTest, SilentDeviceTimesOutOnTheClock) {
  SimDeviceConfig config;
  config.stop_answering_reads = true;
  Replug(config);
  Send(QueryReport());
  const uint64_t slept = clock.slept_ms();
  Report report{};
  EXPECT_EQ(port->ReadReport(report, 300), 0);
  EXPECT_EQ(clock.slept_ms() - slept, 300u);
  EXPECT_EQ(port->ReadReport(report, 0), 0);
}

TEST_F(SimBusTest, LatencyIsSpentPerReportMoved) {
  SimDeviceConfig config;
  config.report_latency_ms = 7;
  Replug(config);
  Send(QueryReport());
  EXPECT_EQ(ReadPayload(64, 10).size(), 64u);
  EXPECT_EQ(clock.slept_ms(), 14u);
}

TEST_F(SimBusTest, PlugUnplugAndReplaceKeepEnumerationOrder) {
  auto second = bus.Plug();
  auto third = bus.Plug();
  const std::string first_path = device->path();
  EXPECT_EQ(Paths(), (std::vector<std::string>{first_path, second->path(), third->path()}));

  WritePages(0, 1, {0x00});
  auto fresh = bus.Replace(device);
  EXPECT_NE(fresh->path(), first_path);
  EXPECT_EQ(Paths(), (std::vector<std::string>{fresh->path(), second->path(), third->path()}));
  EXPECT_EQ(fresh->FlashImage()[0], 0xFF);
  EXPECT_EQ(device->FlashImage()[0], 0x00);  // the old device keeps its flash
  EXPECT_EQ(port->WriteReport(QueryReport()), -1);
  EXPECT_EQ(bus.Open(first_path), nullptr);

  bus.Unplug(second);
  EXPECT_EQ(Paths(), (std::vector<std::string>{fresh->path(), third->path()}));
  ASSERT_EQ(bus.Devices().size(), 2u);
  EXPECT_EQ(bus.Devices()[1], third);
}

TEST_F(SimBusTest, EnumerationFiltersIdsAndCanFail) {
  SimDeviceConfig other;
  other.product_id = 0xB502;
  auto stranger = bus.Plug(other);
  EXPECT_EQ(Paths().size(), 1u);
  EXPECT_EQ(Paths(0x0416, 0xB502), std::vector<std::string>{stranger->path()});
  EXPECT_EQ(Paths(0, 0).size(), 2u);

  auto opened = bus.Open(stranger->path());
  uint16_t vendor = 0;
  uint16_t product = 0;
  ASSERT_TRUE(opened->GetAttributes(vendor, product));
  EXPECT_EQ(product, 0xB502);

  bus.SetEnumerationFails(true);
  std::vector<HidInterfaceInfo> found;
  EXPECT_FALSE(bus.Enumerate(0x0416, 0xB501, found));
  bus.SetEnumerationFails(false);
  EXPECT_TRUE(bus.Enumerate(0x0416, 0xB501, found));
}

TEST_F(SimBusTest, UnplugWhileReadingEndsTheRead) {
  // Another thread unplugs the device while this one waits for an answer that never comes.
  SimDeviceConfig config;
  config.stop_answering_reads = true;
  Replug(config);
  Send(QueryReport());
  std::thread unplugger([this] {
    while (clock.slept_ms() < 50) std::this_thread::yield();
    bus.Unplug(device);
  });
  Report report{};
  EXPECT_EQ(port->ReadReport(report, -1), -1);
  unplugger.join();
}

TEST_F(SimBusTest, TransfersRunWhileOtherThreadsPlugAndUnplug) {
  std::atomic<bool> done{false};
  std::thread churn([this, &done] {
    while (!done) {
      auto extra = bus.Plug();
      auto replaced = bus.Replace(extra);
      (void)bus.Devices();
      bus.Unplug(replaced);
    }
  });
  std::vector<std::thread> workers;
  std::atomic<int> answers{0};
  for (int t = 0; t < 3; ++t) {
    workers.emplace_back([this, &answers] {
      auto own = bus.Open(device->path());
      for (int i = 0; i < 300; ++i) {
        std::vector<HidInterfaceInfo> found;
        (void)bus.Enumerate(0, 0, found);
        if (own->WriteReport(QueryReport()) != 65) return;
        Report report{};
        if (own->ReadReport(report, 1000) == 65) ++answers;
      }
    });
  }
  for (auto& worker : workers) worker.join();
  done = true;
  churn.join();
  // Queries of several threads interleave: an answer may be dropped by the next query, but every
  // thread gets through and nothing is malformed.
  EXPECT_GT(answers.load(), 0);
  EXPECT_TRUE(device->Faults().empty()) << FaultText();
  EXPECT_EQ(device->Commands().size(), 900u);
}

}  // namespace
}  // namespace qv::sim
