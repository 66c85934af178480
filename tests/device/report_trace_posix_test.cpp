// The report trace on a device that is full: Linux's /dev/full has no counterpart on Windows.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/report_trace.h"
#include "fake_hid_bus.h"

namespace qv {
namespace {

// A trace that cannot be written (a full disk, here /dev/full) says so once, with the system's
// reason, and the reports it traces pass on as before.
TEST(ReportTrace, AWriteFailureIsToldOnceAndTheReportsGoOn) {
  std::vector<std::string> told;
  test::FakeHidBus inner;
  inner.Add("/dev/hidraw7");
  auto sink = std::make_shared<ReportTraceSink>(
      std::fopen("/dev/full", "w"), [&told](const std::string& reason) { told.push_back(reason); });
  TracedHidBus bus(inner, sink);
  auto port = bus.Open("/dev/hidraw7");
  ASSERT_NE(port, nullptr);
  Report out{};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(port->WriteReport(out), 65);
  sink->Failure("/dev/hidraw7", "read failed");
  (void)sink->Close();  // the lines are written on the sink's own thread
  EXPECT_EQ(told, std::vector<std::string>{"No space left on device"});
  EXPECT_EQ(bus.counts().sent, 3u);
}

}  // namespace
}  // namespace qv
