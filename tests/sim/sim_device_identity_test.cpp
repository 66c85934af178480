// How a simulated device shows itself on the in-process bus: its interfaces and their paths,
// which of them speaks the protocol, its port, the descriptors of its update mode, and devices
// swapped into its socket.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "fake_clock.h"
#include "sim/sim_bus.h"
#include "sim/sim_device_model.h"
#include "sim_test_reports.h"

namespace qv::sim {
namespace {

using test::QueryReport;
using test::ResetReport;

// What one enumeration entry says about an interface.
struct Entry {
  std::string path;
  int interface_number = -1;
  uint16_t usage_page = 0;
  bool operator==(const Entry&) const = default;
};

// Keeps every event-log line of the devices it is attached to.
class EventLog final : public SimDeviceObserver {
 public:
  void OnReport(Direction, const uint8_t*, std::size_t) override {}
  void OnEvent(const std::string& text) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(text);
  }
  void OnCommand(const SimCommand&) override {}
  [[nodiscard]] std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

class SimDeviceIdentityTest : public ::testing::Test {
 protected:
  SimDeviceIdentityTest() {
    bus.SetPlugHook(
        [this](const std::shared_ptr<SimDeviceModel>& device) { device->SetObserver(events); });
  }

  std::vector<HidInterfaceInfo> Listed() {
    std::vector<HidInterfaceInfo> found;
    EXPECT_TRUE(bus.Enumerate(0x0416, 0xB501, found));
    return found;
  }

  std::vector<std::string> ListedPaths() {
    std::vector<std::string> paths;
    for (const HidInterfaceInfo& info : Listed()) paths.push_back(info.path);
    return paths;
  }

  // Resets the device through `path` and waits out its absence.
  void ResetAndWait(const std::string& path, uint32_t absent_ms = 500) {
    const std::unique_ptr<HidPort> port = bus.Open(path);
    ASSERT_NE(port, nullptr);
    ASSERT_EQ(port->WriteReport(ResetReport()), 65);
    clock.Advance(absent_ms);
  }

  qv::test::FakeClock clock;
  SimBus bus{clock};
  std::shared_ptr<EventLog> events = std::make_shared<EventLog>();
};

SimDeviceConfig Composite(uint32_t interfaces, uint32_t protocol, std::string port = "") {
  SimDeviceConfig config;
  config.interfaces = interfaces;
  config.protocol_interface = protocol;
  config.usb_port = std::move(port);
  return config;
}

TEST_F(SimDeviceIdentityTest, EveryInterfaceIsAnEntryWithItsPathNumberAndUsagePage) {
  struct Case {
    const char* name;
    SimDeviceConfig config;
    std::vector<Entry> entries;
  };
  const Case cases[] = {
      {"one interface, no port", {}, {{"sim:dev1", 0, 0xFF00}}},
      {"protocol on the second of three, no port",
       Composite(3, 1),
       {{"sim:dev1", 0, 0x0001}, {"sim:dev1/1", 1, 0xFF00}, {"sim:dev1/2", 2, 0x0001}}},
      {"with a port: the libusb back end's paths",
       Composite(2, 0, "1-3"),
       {{"1-3:1.0", 0, 0xFF00}, {"1-3:1.1", 1, 0x0001}}},
      {"a protocol interface past the last means the last",
       Composite(2, 7, "2-1.4"),
       {{"2-1.4:1.0", 0, 0x0001}, {"2-1.4:1.1", 1, 0xFF00}}},
      {"no interface at all still means one", Composite(0, 0), {{"sim:dev1", 0, 0xFF00}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qv::test::FakeClock own_clock;
    SimBus own_bus(own_clock);
    const std::shared_ptr<SimDevice> device = own_bus.Plug(c.config);
    std::vector<HidInterfaceInfo> found;
    ASSERT_TRUE(own_bus.Enumerate(0x0416, 0xB501, found));
    std::vector<Entry> entries;
    std::vector<std::string> paths;
    for (const HidInterfaceInfo& info : found) {
      entries.push_back({info.path, info.interface_number, info.usage_page});
      paths.push_back(info.path);
      // One device: the same identity on every entry.
      EXPECT_EQ(info.serial_number, "SIM1");
      EXPECT_EQ(info.usb_port, c.config.usb_port);
      EXPECT_EQ(info.product, "Simulated updater device");
    }
    EXPECT_EQ(entries, c.entries);
    EXPECT_EQ(device->InterfacePaths(), paths);
    EXPECT_EQ(device->path(), paths.front());
    for (const std::string& path : paths) EXPECT_NE(own_bus.Open(path), nullptr) << path;
  }
}

// Another interface of the device (a keyboard's, say) has no output reports: a write there
// fails and is no protocol fault, and the protocol's answers never come out of it.
TEST_F(SimDeviceIdentityTest, OnlyTheProtocolInterfaceTakesAndGivesReports) {
  const std::shared_ptr<SimDevice> device = bus.Plug(Composite(2, 1));
  const std::vector<std::string> paths = device->InterfacePaths();
  const std::unique_ptr<HidPort> other = bus.Open(paths[0]);
  const std::unique_ptr<HidPort> protocol = bus.Open(paths[1]);
  ASSERT_NE(other, nullptr);
  ASSERT_NE(protocol, nullptr);

  EXPECT_EQ(other->WriteReport(QueryReport()), -1);
  EXPECT_TRUE(device->Commands().empty());
  EXPECT_EQ(device->ReportsReceived(), 0u);
  ASSERT_EQ(protocol->WriteReport(QueryReport()), 65);
  Report report{};
  EXPECT_EQ(other->ReadReport(report, 50), 0);  // the answer waits on the protocol interface
  EXPECT_EQ(protocol->ReadReport(report, 50), 65);
  EXPECT_EQ(report[1], 'P');

  EXPECT_TRUE(device->Faults().empty());
  const std::vector<std::string> lines = events->lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "write on interface 0 refused: it has no output reports");

  // Gone is gone on every interface.
  bus.Unplug(device);
  EXPECT_EQ(other->ReadReport(report, 50), -1);
}

TEST_F(SimDeviceIdentityTest, UpdateModeReportsItsOwnSerialNumberAndProductString) {
  struct Case {
    const char* name;
    std::optional<std::string> serial_after_reset;
    std::optional<std::string> product_after_reset;
    std::string serial;
    std::string product;
  };
  const Case cases[] = {
      {"unchanged", std::nullopt, std::nullopt, "SIM1", "Simulated updater device"},
      {"another serial number", "BOOT-7", std::nullopt, "BOOT-7", "Simulated updater device"},
      {"no serial number", "", std::nullopt, "", "Simulated updater device"},
      {"another product string", std::nullopt, "Updater mode", "SIM1", "Updater mode"},
      {"neither", "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qv::test::FakeClock own_clock;
    SimBus own_bus(own_clock);
    SimDeviceConfig config = Composite(2, 0, "1-2");
    config.serial_after_reset = c.serial_after_reset;
    config.product_after_reset = c.product_after_reset;
    const std::shared_ptr<SimDevice> device = own_bus.Plug(config);
    EXPECT_EQ(device->serial_number(), "SIM1");
    EXPECT_EQ(device->product_string(), "Simulated updater device");

    const std::unique_ptr<HidPort> port = own_bus.Open(device->path());
    ASSERT_EQ(port->WriteReport(ResetReport()), 65);
    own_clock.Advance(500);
    std::vector<HidInterfaceInfo> found;
    ASSERT_TRUE(own_bus.Enumerate(0x0416, 0xB501, found));
    ASSERT_EQ(found.size(), 2u);
    for (const HidInterfaceInfo& info : found) {
      EXPECT_EQ(info.serial_number, c.serial);
      EXPECT_EQ(info.product, c.product);
      EXPECT_EQ(info.usb_port, "1-2");
    }
    EXPECT_EQ(device->serial_number(), c.serial);
    EXPECT_EQ(device->product_string(), c.product);
  }
}

// A port names the device's paths, so a reset cannot move them; without one a reset with
// new_path_after_reset does, on every interface.
TEST_F(SimDeviceIdentityTest, PathsAcrossAReset) {
  struct Case {
    const char* port;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {"1-3", {"1-3:1.0", "1-3:1.1"}},
      {"", {"sim:dev1.1", "sim:dev1.1/1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    qv::test::FakeClock own_clock;
    SimBus own_bus(own_clock);
    SimDeviceConfig config = Composite(2, 0, c.port);
    config.new_path_after_reset = true;
    const std::shared_ptr<SimDevice> device = own_bus.Plug(config);
    const std::unique_ptr<HidPort> before = own_bus.Open(device->path());
    ASSERT_EQ(before->WriteReport(ResetReport()), 65);
    own_clock.Advance(500);
    EXPECT_EQ(device->InterfacePaths(), c.after);
    std::vector<HidInterfaceInfo> found;
    ASSERT_TRUE(own_bus.Enumerate(0x0416, 0xB501, found));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].path, c.after[1]);
    EXPECT_EQ(before->WriteReport(QueryReport()), -1);  // the old handle stays dead
    EXPECT_NE(own_bus.Open(c.after[1]), nullptr);
  }
}

TEST_F(SimDeviceIdentityTest, ReplaceKeepsTheSocketUnlessTheNewDeviceHasOne) {
  struct Case {
    const char* name;
    std::string old_port;
    std::string new_port;
    std::string port;
    std::string path;
  };
  const Case cases[] = {
      {"same socket", "1-2", "", "1-2", "1-2:1.0"},
      {"given another", "1-2", "1-5", "1-5", "1-5:1.0"},
      {"no port before", "", "", "", "sim:dev3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qv::test::FakeClock own_clock;
    SimBus own_bus(own_clock);
    SimDeviceConfig old_config;
    old_config.usb_port = c.old_port;
    const std::shared_ptr<SimDevice> old = own_bus.Plug(old_config);
    const std::shared_ptr<SimDevice> next = own_bus.Plug();
    SimDeviceConfig new_config;
    new_config.usb_port = c.new_port;
    const std::shared_ptr<SimDevice> fresh = own_bus.Replace(old, new_config);
    EXPECT_EQ(fresh->config().usb_port, c.port);
    EXPECT_EQ(fresh->path(), c.path);
    EXPECT_EQ(fresh->serial_number(), "SIM3");
    ASSERT_EQ(own_bus.Devices().size(), 2u);
    EXPECT_EQ(own_bus.Devices()[0], fresh);
    EXPECT_EQ(own_bus.FindPath(c.path), fresh);
  }
}

TEST_F(SimDeviceIdentityTest, ReplaceAtResetSwapsAFreshDeviceIntoTheSocketWhileItIsAway) {
  SimDeviceConfig config = Composite(2, 1, "1-4");
  config.serial_after_reset = "";  // the old device's update mode is never seen
  const std::shared_ptr<SimDevice> old = bus.Plug(config);
  const std::shared_ptr<SimDevice> behind = bus.Plug();
  std::unique_ptr<HidPort> port = bus.Open("1-4:1.1");
  ASSERT_NE(port, nullptr);
  // One page programmed, so that the old flash differs from an erased one.
  ASSERT_EQ(port->WriteReport(test::EncodeCommand(0xA3, 0, 1)), 65);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(port->WriteReport(test::DataReport(0x00)), 65);
  SimDeviceConfig swapped;
  swapped.serial_number = "NEW";
  const std::shared_ptr<SimDevice> fresh = bus.ReplaceAtReset(old, swapped);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(bus.Devices(), (std::vector<std::shared_ptr<SimDevice>>{old, behind}));
  EXPECT_EQ(ListedPaths(), (std::vector<std::string>{"1-4:1.0", "1-4:1.1", "sim:dev2"}));

  ASSERT_EQ(port->WriteReport(ResetReport()), 65);
  clock.Advance(499);
  EXPECT_EQ(ListedPaths(), std::vector<std::string>{"sim:dev2"});
  clock.Advance(1);
  // The fresh device, in the old one's place in the order, with the old one's paths.
  EXPECT_EQ(bus.Devices(), (std::vector<std::shared_ptr<SimDevice>>{fresh, behind}));
  const std::vector<HidInterfaceInfo> found = Listed();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].path, "1-4:1.0");
  EXPECT_EQ(found[0].serial_number, "NEW");
  EXPECT_EQ(found[0].usb_port, "1-4");
  EXPECT_EQ(found[0].usage_page, 0xFF00);  // its own interfaces: one, speaking the protocol
  EXPECT_EQ(found[1].path, "sim:dev2");
  const auto& model = static_cast<const SimDeviceModel&>(*fresh);
  EXPECT_EQ(model.number(), 3u);
  EXPECT_EQ(fresh->FlashImage(), std::vector<uint8_t>(kSimFlashSize, 0xFF));

  // What the host opens there now is the fresh device; the old one never returns.
  port = bus.Open("1-4:1.0");
  ASSERT_NE(port, nullptr);
  ASSERT_EQ(port->WriteReport(QueryReport()), 65);
  EXPECT_EQ(fresh->Commands().size(), 1u);
  EXPECT_EQ(old->Commands().size(), 2u);  // write, reset
  EXPECT_EQ(old->FlashImage()[0], 0x00);
  clock.Advance(3'600'000);
  EXPECT_EQ(bus.Devices(), (std::vector<std::shared_ptr<SimDevice>>{fresh, behind}));
  EXPECT_TRUE(old->Faults().empty());
  EXPECT_TRUE(fresh->Faults().empty());
}

TEST_F(SimDeviceIdentityTest, ReplaceAtResetWaitsForTheResetAndDiesWithAnUnpluggedDevice) {
  const std::shared_ptr<SimDevice> old = bus.Plug();
  const std::shared_ptr<SimDevice> fresh = bus.ReplaceAtReset(old);
  ASSERT_NE(fresh, nullptr);
  clock.Advance(10'000);  // no reset: nothing changes
  EXPECT_EQ(ListedPaths(), std::vector<std::string>{"sim:dev1"});
  EXPECT_EQ(bus.FindPath("sim:dev2"), nullptr);
  bus.Unplug(old);
  EXPECT_TRUE(ListedPaths().empty());
  EXPECT_EQ(bus.ReplaceAtReset(old), nullptr);  // no longer plugged
}

TEST_F(SimDeviceIdentityTest, ReplaceAtResetWithoutAPortTakesThePlaceUnderItsOwnPath) {
  const std::shared_ptr<SimDevice> old = bus.Plug();
  const std::shared_ptr<SimDevice> fresh = bus.ReplaceAtReset(old);
  ResetAndWait("sim:dev1");
  EXPECT_EQ(ListedPaths(), std::vector<std::string>{"sim:dev2"});
  EXPECT_EQ(bus.Devices(), std::vector<std::shared_ptr<SimDevice>>{fresh});
  const std::vector<std::string> lines = events->lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "left the bus: reset, replaced by dev2"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "on the bus in the place of dev1"), lines.end());
}

}  // namespace
}  // namespace qv::sim
