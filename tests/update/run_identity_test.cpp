// An update run writes only the device it reset: it finds that device again by its USB port and
// serial number together, and refuses to start where two attached devices cannot be told apart.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/device_identity.h"
#include "flash_check.h"
#include "package_fixture.h"
#include "sim_run.h"
#include "update/update_run.h"

namespace qv {
namespace {

constexpr const char* kReconnectFailed =
    "Connect to device faile,please connect usb cable to device !";

sim::SimDeviceConfig Device(std::optional<std::string> serial, std::string port = "") {
  sim::SimDeviceConfig config;
  config.serial_number = std::move(serial);
  config.usb_port = std::move(port);
  return config;
}

// Away from the bus for 3 s after its reset: past the first reconnect attempts, so another
// device has time to be taken in its place.
sim::SimDeviceConfig Slow(sim::SimDeviceConfig config) {
  config.reset_absent_ms = 3000;
  return config;
}

sim::SimDeviceConfig NewPath(sim::SimDeviceConfig config) {
  config.new_path_after_reset = true;
  return config;
}

// What happens just before the first reconnect attempt, while the reset device is away.
enum class Gap { kNothing, kPlug, kReplaceTheResetDevice };

struct IdentityCase {
  const char* name;
  std::vector<sim::SimDeviceConfig> devices;
  std::optional<std::size_t> keep_to;  // a run kept to one device, as `flash --device` is
  Gap gap = Gap::kNothing;
  sim::SimDeviceConfig gap_device;
  RunResult result = RunResult::kSucceeded;
  std::vector<std::string> messages;
  int updated = -1;  // the device that must hold the package
};

TEST(RunIdentity, OnlyTheResetDeviceIsWrittenAndIndistinctDevicesAreRefused) {
  const std::vector<IdentityCase> cases = {
      {"the wizard's run finds the reset device again, not the other one that is first on the "
       "bus while it is away",
       {Slow(Device("A")), Device("B")}, std::nullopt, Gap::kNothing, {},
       RunResult::kSucceeded, {}, 0},
      {"a device put into the same port during the reset, with another serial, is not taken",
       {Slow(Device("A", "1-4"))}, std::nullopt, Gap::kReplaceTheResetDevice,
       Device("C", "1-4"), RunResult::kFailed, {kReconnectFailed}, -1},
      {"two devices with one serial and no port are refused before either is touched",
       {Device("S"), Device("S")}, std::nullopt, Gap::kNothing, {}, RunResult::kFailed,
       {kIndistinctDevicesText}, -1},
      {"kept to the second of two devices with one serial: refused, the first is not written",
       {Device("S"), Device("S")}, 1, Gap::kNothing, {}, RunResult::kFailed,
       {kIndistinctDevicesText}, -1},
      {"two devices without port or serial are refused",
       {Device(""), Device("")}, std::nullopt, Gap::kNothing, {}, RunResult::kFailed,
       {kIndistinctDevicesText}, -1},
      {"one serial in two ports: the port tells them apart",
       {Slow(Device("S", "1-1")), Device("S", "1-2")}, std::nullopt, Gap::kNothing, {},
       RunResult::kSucceeded, {}, 0},
      {"kept to the second of one serial in two ports",
       {Device("S", "1-1"), Slow(Device("S", "1-2"))}, 1, Gap::kNothing, {},
       RunResult::kSucceeded, {}, 1},
      {"alone without port or serial, kept to it, back under a new path: found again",
       {NewPath(Device(""))}, 0, Gap::kNothing, {}, RunResult::kSucceeded, {}, 0},
      {"without port or serial beside a device with a serial: the one reset is found again",
       {Slow(NewPath(Device(""))), Device("B")}, std::nullopt, Gap::kNothing, {},
       RunResult::kSucceeded, {}, 0},
      {"a device with the same serial plugged while the reset one comes back: neither is written",
       {Device("S")}, std::nullopt, Gap::kPlug, Device("S"), RunResult::kFailed,
       {kIndistinctDevicesText}, -1},
  };
  for (const IdentityCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimRun run;
    const test::FixturePackage package = test::ThreeAreaPackage();
    test::LoadFixture(package, run.store, run.clock);
    std::vector<std::shared_ptr<sim::SimDevice>> devices;
    for (const sim::SimDeviceConfig& config : c.devices) devices.push_back(run.sim_bus.Plug(config));
    if (c.keep_to) {
      std::vector<HidInterfaceInfo> found;
      ASSERT_TRUE(run.sim_bus.Enumerate(kDeviceVendorId, kDeviceProductId, found));
      run.link.KeepToDevice(DeviceIdentity::Of(found.at(*c.keep_to)));
    }
    std::shared_ptr<sim::SimDevice> intruder;
    if (c.gap == Gap::kPlug) {
      run.bus.BeforeEnumeration(2, [&] { intruder = run.sim_bus.Plug(c.gap_device); });
    } else if (c.gap == Gap::kReplaceTheResetDevice) {
      run.bus.BeforeEnumeration(2, [&] {
        intruder = run.sim_bus.Replace(devices.front(), c.gap_device);
      });
    }

    EXPECT_EQ(run.Run(), c.result);
    EXPECT_EQ(run.dialogs.messages(), c.messages);
    EXPECT_TRUE(run.Released());
    for (std::size_t i = 0; i < devices.size(); ++i) {
      SCOPED_TRACE("device " + std::to_string(i));
      EXPECT_TRUE(devices[i]->Faults().empty());
      if (static_cast<int>(i) == c.updated) {
        test::ExpectFlashHoldsPackage(devices[i]->FlashImage(), package);
      } else if (c.messages == std::vector<std::string>{kIndistinctDevicesText} &&
                 c.gap == Gap::kNothing) {
        // Refused at the start: nothing at all was sent to any device.
        EXPECT_TRUE(devices[i]->Commands().empty());
      } else {
        // At most the query and the reset of the run's own device; never an erase or a write.
        EXPECT_LE(devices[i]->Commands().size(), 2u);
      }
    }
    if (c.gap != Gap::kNothing) {
      ASSERT_NE(intruder, nullptr);
      EXPECT_TRUE(intruder->Commands().empty());
    }
  }
}

// The matching rule itself: port and serial number together, an unknown one a value of its own.
TEST(DeviceIdentityRule, PortAndSerialTogetherTellDevicesApart) {
  const HidInterfaceInfo a{"/dev/hidraw1", 0x0416, 0xB501, "A", "1-1"};
  struct Case {
    const char* name;
    HidInterfaceInfo other;
    bool same;
  };
  const Case cases[] = {
      {"another path only (a reset device may come back so)", {"/dev/hidraw7", 0x0416, 0xB501, "A", "1-1"}, true},
      {"another serial in the same port", {"/dev/hidraw1", 0x0416, 0xB501, "B", "1-1"}, false},
      {"the same serial in another port", {"/dev/hidraw2", 0x0416, 0xB501, "A", "1-2"}, false},
      {"no serial in the same port", {"/dev/hidraw1", 0x0416, 0xB501, "", "1-1"}, false},
      {"the port unknown", {"/dev/hidraw1", 0x0416, 0xB501, "A", ""}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DeviceIdentity::Of(a).Matches(c.other), c.same);
    EXPECT_EQ(Indistinct(DeviceIdentity::Of(a), {a, c.other}), c.same);
  }
  const HidInterfaceInfo bare{"/dev/hidraw3", 0x0416, 0xB501, "", ""};
  EXPECT_FALSE(Indistinct(DeviceIdentity::Of(bare), {a, bare}));
  EXPECT_EQ(IndistinctIdentities({a, bare, a, bare, {"x", 0x0416, 0xB501, "", "1-9"}}),
            (std::vector<DeviceIdentity>{DeviceIdentity::Of(a), DeviceIdentity::Of(bare)}));
  EXPECT_EQ(DeviceIdentity::Of(a).Text(), "port 1-1, serial A");
  EXPECT_EQ(DeviceIdentity::Of(bare).Text(), "no port or serial");
}

}  // namespace
}  // namespace qv
