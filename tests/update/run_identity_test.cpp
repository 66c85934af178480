// An update run writes only the device it reset: it finds that device again in its USB port,
// whatever serial number it reports in its update mode, and, where no port is known, by its
// serial number, refusing to start where two attached devices cannot be told apart.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/attached_devices.h"
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

// A composite device: `interfaces` entries, the protocol on one of them.
sim::SimDeviceConfig Composite(sim::SimDeviceConfig config, uint32_t interfaces,
                               uint32_t protocol) {
  config.interfaces = interfaces;
  config.protocol_interface = protocol;
  return config;
}

// In its update mode the device reports this serial number ("" for none).
sim::SimDeviceConfig SerialAfterReset(sim::SimDeviceConfig config, std::string serial) {
  config.serial_after_reset = std::move(serial);
  return config;
}

// What happens just before the first reconnect attempt, while the reset device is away.
enum class Gap { kNothing, kPlug, kReplaceTheResetDevice };

// How a run is kept to one enumerated entry, as `flash --device` keeps it.
enum class Keep { kNothing, kDevice, kInterface };

struct IdentityCase {
  const char* name;
  std::vector<sim::SimDeviceConfig> devices;
  std::optional<std::size_t> keep_to;  // the enumerated entry a run is kept to
  Gap gap = Gap::kNothing;
  sim::SimDeviceConfig gap_device;
  RunResult result = RunResult::kSucceeded;
  std::vector<std::string> messages;
  int updated = -1;  // the device that must hold the package; -2: the one put in the gap
  Keep keep = Keep::kDevice;
  std::optional<std::string> serial_after_reset = {};  // what the run saw come back
};

TEST(RunIdentity, OnlyTheResetDeviceIsWrittenAndIndistinctDevicesAreRefused) {
  const std::vector<IdentityCase> cases = {
      {"the wizard's run finds the reset device again, not the other one that is first on the "
       "bus while it is away",
       {Slow(Device("A")), Device("B")}, std::nullopt, Gap::kNothing, {},
       RunResult::kSucceeded, {}, 0},
      {"a device put into the same port during the reset is taken as the device in that port",
       {Slow(Device("A", "1-4"))}, std::nullopt, Gap::kReplaceTheResetDevice,
       Device("C", "1-4"), RunResult::kSucceeded, {}, -2, Keep::kDevice, "C"},
      {"the serial number gone in update mode: the device in the port is written",
       {SerialAfterReset(Device("A", "1-4"), "")}, std::nullopt, Gap::kNothing, {},
       RunResult::kSucceeded, {}, 0, Keep::kDevice, ""},
      {"another serial number in update mode, beside a device that is first while it is away",
       {Slow(SerialAfterReset(Device("A", "1-4"), "BOOT")), Device("B", "1-5")}, std::nullopt,
       Gap::kNothing, {}, RunResult::kSucceeded, {}, 0, Keep::kDevice, "BOOT"},
      {"without a port, the serial number gone in update mode: not found again",
       {SerialAfterReset(Device("A"), "")}, std::nullopt, Gap::kNothing, {}, RunResult::kFailed,
       {kReconnectFailed}, -1},
      {"a composite device, the protocol on its first interface",
       {Composite(Device("A", "1-3"), 3, 0)}, std::nullopt, Gap::kNothing, {},
       RunResult::kSucceeded, {}, 0},
      {"a composite device, the protocol on its second interface: the first takes no command, "
       "and the run fails on the status line",
       {Composite(Device("A", "1-3"), 2, 1)}, std::nullopt, Gap::kNothing, {},
       RunResult::kFailed, {}, -1},
      {"a composite device kept to its protocol interface",
       {Composite(Device("A", "1-3"), 2, 1)}, 1, Gap::kNothing, {}, RunResult::kSucceeded, {}, 0,
       Keep::kInterface},
      {"two composite devices on two ports: the second one, kept to",
       {Composite(Device("S", "1-1"), 2, 0), Slow(Composite(Device("S", "1-2"), 2, 0))}, 2,
       Gap::kNothing, {}, RunResult::kSucceeded, {}, 1},
      {"a composite device without a port cannot be told from two devices: refused",
       {Composite(Device("A"), 2, 0)}, std::nullopt, Gap::kNothing, {}, RunResult::kFailed,
       {kIndistinctDevicesText}, -1},
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
      const HidInterfaceInfo& entry = found.at(*c.keep_to);
      run.link.KeepToDevice(c.keep == Keep::kInterface ? DeviceIdentity::OfInterface(entry)
                                                       : DeviceIdentity::Of(entry));
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
      EXPECT_TRUE(intruder->Faults().empty());
      if (c.updated == -2) {
        test::ExpectFlashHoldsPackage(intruder->FlashImage(), package);
      } else {
        EXPECT_TRUE(intruder->Commands().empty());
      }
    }
    if (c.serial_after_reset) {
      ASSERT_TRUE(run.devices.after_reset.has_value());
      EXPECT_EQ(run.devices.after_reset->serial_number, *c.serial_after_reset);
    }
  }
}

// The matching rule itself: the port where one is known, else the serial number, an unknown
// one a value of its own.
TEST(DeviceIdentityRule, APortIsTheDeviceAndOnlyWithoutOneDoesTheSerialNumberCount) {
  const HidInterfaceInfo a{"/dev/hidraw1", 0x0416, 0xB501, "A", "1-1"};
  const HidInterfaceInfo no_port{"/dev/hidraw4", 0x0416, 0xB501, "A", ""};
  struct Case {
    const char* name;
    HidInterfaceInfo device;
    HidInterfaceInfo other;
    bool same;
    bool indistinct;  // the two attached together cannot be told apart
  };
  const Case cases[] = {
      {"another path in the same port (an interface, or the device back from its reset)", a,
       {"/dev/hidraw7", 0x0416, 0xB501, "A", "1-1"}, true, false},
      {"another serial in the same port", a, {"/dev/hidraw1", 0x0416, 0xB501, "B", "1-1"}, true,
       false},
      {"no serial in the same port", a, {"/dev/hidraw1", 0x0416, 0xB501, "", "1-1"}, true, false},
      {"the same serial in another port", a, {"/dev/hidraw2", 0x0416, 0xB501, "A", "1-2"}, false,
       false},
      {"the port unknown", a, no_port, false, false},
      {"no port, the same serial", no_port, {"/dev/hidraw5", 0x0416, 0xB501, "A", ""}, true, true},
      {"no port, another serial", no_port, {"/dev/hidraw5", 0x0416, 0xB501, "B", ""}, false,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DeviceIdentity::Of(c.device).Matches(c.other), c.same);
    EXPECT_EQ(Indistinct(DeviceIdentity::Of(c.device), {c.device, c.other}), c.indistinct);
  }
  const HidInterfaceInfo bare{"/dev/hidraw3", 0x0416, 0xB501, "", ""};
  EXPECT_FALSE(Indistinct(DeviceIdentity::Of(bare), {a, bare}));
  EXPECT_EQ(IndistinctIdentities({a, bare, no_port, a, bare, no_port}),
            (std::vector<DeviceIdentity>{DeviceIdentity::Of(bare), DeviceIdentity::Of(no_port)}));
  EXPECT_EQ(DeviceIdentity::Of(a).Text(), "port 1-1");
  EXPECT_EQ(DeviceIdentity::Of(no_port).Text(), "serial A");
  EXPECT_EQ(DeviceIdentity::Of(bare).Text(), "no port or serial");
}

// Entries group into devices by port, in the order of each device's first entry; the chosen
// interface of a device is taken first, and found again by its number after a reset.
TEST(DeviceIdentityRule, EntriesGroupIntoDevicesAndAChosenInterfaceIsPreferred) {
  HidInterfaceInfo k0{"1-3:1.0", 0x0416, 0xB501, "K", "1-3", 0, 0x0001};
  HidInterfaceInfo other{"1-4:1.0", 0x0416, 0xB501, "K", "1-4", 0, 0xFF00};
  HidInterfaceInfo k1{"1-3:1.1", 0x0416, 0xB501, "K", "1-3", 1, 0xFF00};
  HidInterfaceInfo s1{"sim:dev3", 0x0416, 0xB501, "S", ""};
  HidInterfaceInfo s2{"sim:dev4", 0x0416, 0xB501, "S", ""};
  const std::vector<AttachedDevice> devices = GroupByDevice({k0, other, s1, k1, s2});
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].identity.Text(), "port 1-3");
  ASSERT_EQ(devices[0].interfaces.size(), 2u);
  EXPECT_EQ(devices[0].first().path, "1-3:1.0");
  EXPECT_FALSE(devices[0].indistinct);
  EXPECT_EQ(devices[1].first().path, "1-4:1.0");
  EXPECT_TRUE(devices[2].indistinct);
  EXPECT_EQ(devices[2].interfaces.size(), 2u);

  const DeviceIdentity chosen = DeviceIdentity::OfInterface(k1);
  EXPECT_TRUE(chosen.Matches(k0));
  EXPECT_FALSE(chosen.Prefers(k0));
  EXPECT_TRUE(chosen.Prefers(k1));
  // Back from the reset under another path: the same interface number and usage page.
  HidInterfaceInfo k1_back = k1;
  k1_back.path = "/dev/hidraw9";
  EXPECT_TRUE(chosen.Prefers(k1_back));
  k1_back.usage_page = 0x0001;
  EXPECT_FALSE(chosen.Prefers(k1_back));
}

}  // namespace
}  // namespace qv
