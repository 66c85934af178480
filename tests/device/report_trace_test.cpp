// The traced bus: counts every report its ports move and writes each one, in and out, with a
// monotonic time stamp, while the reports themselves pass through untouched.

#include "device/report_trace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fake_hid_bus.h"
#include "temp_folder.h"

namespace qv {
namespace {

TEST(ReportTrace, CountsAndWritesEveryReportInOrder) {
  const test::TempFolder folder("qv_trace");
  const std::filesystem::path path = folder.path() / "trace.txt";
  test::FakeHidBus inner;
  auto device = inner.Add("/dev/hidraw7");
  {
    auto sink = std::make_shared<ReportTraceSink>(std::fopen(path.string().c_str(), "wb"));
    TracedHidBus bus(inner, sink);
    std::vector<HidInterfaceInfo> found;
    ASSERT_TRUE(bus.Enumerate(0x0416, 0xB501, found));
    ASSERT_EQ(found.size(), 1u);
    auto port = bus.Open("/dev/hidraw7");
    ASSERT_NE(port, nullptr);

    Report out{};
    out[1] = 0xA7;
    EXPECT_EQ(port->WriteReport(out), 65);
    device->QueueInput({0x50, 0x31});
    Report in{};
    EXPECT_GT(port->ReadReport(in, 10), 0);
    EXPECT_EQ(in[1], 0x50);
    device->QueueWriteResult(-1);
    EXPECT_EQ(port->WriteReport(out), -1);

    const ReportCounts counts = bus.counts();
    EXPECT_EQ(counts.sent, 1u);
    EXPECT_EQ(counts.received, 1u);
    EXPECT_EQ(counts.failed, 1u);
    ASSERT_EQ(device->written().size(), 2u);  // the failed write was tried too
    EXPECT_EQ(device->written()[0], out);
  }
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find(" /dev/hidraw7 > 00 A7 00"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[0].size(), lines[0].find(" > ") + 3 + 65 * 3 - 1);
  EXPECT_NE(lines[1].find(" /dev/hidraw7 < 00 50 31"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(" /dev/hidraw7 ! write failed"), std::string::npos) << lines[2];
  double previous = -1;
  for (const std::string& line : lines) {
    const double stamp = std::stod(line);
    EXPECT_GE(stamp, previous);
    previous = stamp;
  }
}

}  // namespace
}  // namespace qv
