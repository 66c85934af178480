// The USB port of a hidraw node, read from a fake sysfs tree laid out as the kernel lays it out.

#include "platform/usb_port.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace qv {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("qv_sysfs_" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "class" / "hidraw");
  }
  void TearDown() override { fs::remove_all(root_); }

  // hidrawN whose HID device sits below `parents` (relative to devices/).
  void AddNode(const std::string& node, const std::string& parents) {
    const fs::path hid = root_ / "devices" / parents / "0003:0416:B501.0007";
    fs::create_directories(hid / "hidraw" / node);
    fs::create_directories(root_ / "class" / "hidraw" / node);
    fs::create_directory_symlink(fs::relative(hid, root_ / "class" / "hidraw" / node),
                                 root_ / "class" / "hidraw" / node / "device");
  }
  fs::path root_;
};

TEST_F(FakeSysfs, PortComesFromTheUsbInterfaceAboveTheHidDevice) {
  AddNode("hidraw3", "pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/1-2.3:1.0");
  AddNode("hidraw4", "pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.2");
  AddNode("hidraw5", "platform/i2c-ELAN0001:00");  // a HID device that is not on USB
  struct Case {
    const char* path;
    const char* port;
  };
  for (const Case& c : {Case{"/dev/hidraw3", "1-2.3"}, Case{"/dev/hidraw4", "3-1"},
                        Case{"/dev/hidraw5", ""}, Case{"/dev/hidraw9", ""},
                        Case{"/dev/hidrawx", ""}, Case{"sim:dev1", ""},
                        Case{"/dev/../dev/hidraw3", "1-2.3"}}) {
    EXPECT_EQ(UsbPortOfHidraw(root_, c.path), c.port) << c.path;
  }
}

}  // namespace
}  // namespace qv
