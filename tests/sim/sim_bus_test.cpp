#include "sim/sim_bus.h"

#include <gtest/gtest.h>

#include "fake_clock.h"
#include "sim_test_reports.h"

namespace qv::sim {
namespace {

using test::QueryReport;

TEST(SimBusTest, QueryIsAnsweredWithOneInputReport) {
  qv::test::FakeClock clock;
  SimBus bus(clock);
  SimDeviceConfig config;
  config.version = {'P', 1, 2, 3};
  bus.Plug(config);
  std::vector<HidInterfaceInfo> found;
  ASSERT_TRUE(bus.Enumerate(0x0416, 0xB501, found));
  ASSERT_EQ(found.size(), 1u);
  auto port = bus.Open(found[0].path);
  ASSERT_NE(port, nullptr);
  ASSERT_EQ(port->WriteReport(QueryReport()), 65);
  Report answer{};
  ASSERT_EQ(port->ReadReport(answer, 100), 65);
  EXPECT_EQ(answer[1], 'P');
  EXPECT_EQ(answer[2], 1);
  EXPECT_EQ(answer[64], 20);
  EXPECT_EQ(std::string(answer.begin() + 16, answer.begin() + 20), "C216");
  EXPECT_EQ(port->ReadReport(answer, 100), 0);
  EXPECT_TRUE(bus.Devices()[0]->Faults().empty());
}

}  // namespace
}  // namespace qv::sim
