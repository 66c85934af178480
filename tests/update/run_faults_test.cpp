#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "flash_check.h"
#include "package_fixture.h"
#include "sim_run.h"
#include "update/update_run.h"

namespace qv {
namespace {

using test::SimRun;

// Report numbers of the three-area package's traffic, counted as the device counts them (every
// report in either direction, from 1): query 2, reset 1, set-layout 5, an erase 6 (command,
// read-back command, 4 read-back reports), a write 1 + 4 per page, over 1.
struct Traffic {
  uint32_t set_layout = 4;
  uint32_t map_erase = set_layout + 5;
  uint32_t map_write = map_erase + 6;
  uint32_t sound_erase = map_write + 1 + 4 * 0x30;
  uint32_t sound_write = sound_erase + 6;
  uint32_t program_erase = sound_write + 1 + 4 * 0x30;
  uint32_t program_write = program_erase + 6;
  uint32_t check_erase = program_write + 1 + 4 * 0x50;
  uint32_t check_write = check_erase + 6;
  uint32_t info_erase = check_write + 5;
  uint32_t info_write = info_erase + 6;
  uint32_t over = info_write + 5;
};

struct FaultCase {
  const char* phase;
  std::function<void(sim::SimDeviceConfig&)> inject;
  const char* message;  // nullptr: no message box
  const char* last_status;
};

void FailReport(sim::SimDeviceConfig& config, uint32_t report) {
  config.fail_report = report;
}

const char* const kTryAgain = "Updata faile ,please try again !";

std::vector<FaultCase> FaultCases() {
  const Traffic t;
  return {
      {"reconnect", [](auto& c) { c.never_return_after_reset = true; },
       "Connect to device faile,please connect usb cable to device !", "To updata ,please wait..."},
      {"set-layout data", [t](auto& c) { FailReport(c, t.set_layout + 2); }, nullptr, kTryAgain},
      {"map erase command", [t](auto& c) { FailReport(c, t.map_erase); },
       "Erase data faile ,please connect usb cable to device !", kTryAgain},
      {"map write data", [t](auto& c) { FailReport(c, t.map_write + 100); },
       "Write data faile, please connect usb cable to device !", kTryAgain},
      {"sound erase read-back", [t](auto& c) { FailReport(c, t.sound_erase + 3); },
       "Erase updata file faile ,please connect usb cable to device !", kTryAgain},
      {"sound write command", [t](auto& c) { FailReport(c, t.sound_write); },
       "Write updata file faile ,please connect usb cable to device !", kTryAgain},
      {"program erase read-back command", [t](auto& c) { FailReport(c, t.program_erase + 1); },
       "Updata faile ,please connect usb cable to device !", kTryAgain},
      {"program write, last data report", [t](auto& c) { FailReport(c, t.program_write + 320); },
       "Updata faile ,please connect usb cable to device !", kTryAgain},
      {"check-code erase", [t](auto& c) { FailReport(c, t.check_erase); },
       "Erase check code faile,please connect usb cable to device", nullptr},
      {"check-code write", [t](auto& c) { FailReport(c, t.check_write + 2); },
       "Write check code faile,please connect usb cable to device", nullptr},
      {"info erase", [t](auto& c) { FailReport(c, t.info_erase + 5); },
       "Erase file faile,please connect usb cable to device", nullptr},
      {"info write", [t](auto& c) { FailReport(c, t.info_write + 4); },
       "Write file faile,please connect usb cable to device", nullptr},
      {"over", [t](auto& c) { FailReport(c, t.over); }, "Send over command faile !", nullptr},
      {"device gone in the program write", [t](auto& c) { c.vanish_report = t.program_write + 9; },
       "Updata faile ,please connect usb cable to device !", kTryAgain},
  };
}

TEST(RunFaults, EachPhaseEndsWithItsMessageAndTheNextRunSucceeds) {
  for (const FaultCase& c : FaultCases()) {
    SCOPED_TRACE(c.phase);
    SimRun run;
    const test::FixturePackage package = test::ThreeAreaPackage();
    test::LoadFixture(package, run.store, run.clock);
    sim::SimDeviceConfig config;
    c.inject(config);
    auto device = run.sim_bus.Plug(config);
    test::RecordingProgress progress;

    EXPECT_EQ(run.Run(progress), RunResult::kFailed);
    const std::vector<std::string> expected =
        c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{};
    EXPECT_EQ(run.dialogs.messages(), expected);
    if (c.last_status) {
      EXPECT_EQ(progress.statuses().back(), c.last_status);
    }
    EXPECT_TRUE(run.Released());

    // The same device (or, when it left the bus, the same device plugged in again) takes the
    // next run and ends up holding the package.
    if (config.vanish_report != 0) {
      run.sim_bus.Unplug(device);
      device = run.sim_bus.Plug();
    } else {
      device->SetConfig(sim::SimDeviceConfig{});
    }
    RunResult second = run.Run();
    EXPECT_EQ(second, RunResult::kSucceeded);
    EXPECT_EQ(run.dialogs.messages(), expected);
    test::ExpectFlashHoldsPackage(device->FlashImage(), package);
    EXPECT_TRUE(run.Released());
  }
}

// Reports that are lost without the device going away do not fail the run where the device's
// answer is not needed: the query's answer only feeds the version check, and the reset's
// outcome is not examined (the device then simply does not leave the bus).
TEST(RunFaults, LostQueryOrResetReportStillUpdates) {
  for (uint32_t report : {1u, 2u, 3u}) {
    SCOPED_TRACE(report);
    SimRun run;
    const test::FixturePackage package = test::ThreeAreaPackage();
    test::LoadFixture(package, run.store, run.clock);
    sim::SimDeviceConfig config;
    config.fail_report = report;
    auto device = run.sim_bus.Plug(config);
    EXPECT_EQ(run.Run(), RunResult::kSucceeded);
    EXPECT_TRUE(run.dialogs.messages().empty());
    test::ExpectFlashHoldsPackage(device->FlashImage(), package);
  }
}

// Wherever in the traffic a report is lost or the device leaves the bus, the run ends in one of
// its own messages (or in none, where a command's result lets the run go on or the failure shows
// in the status line only), never in a hang, and leaves the device released. A run that still
// succeeds has written the whole package.
TEST(RunFaults, AFaultAtAnyReportEndsCleanly) {
  const std::set<std::string> known{"Send reset command faile,please connect usb cable to device !",
                                    "Connect to device faile,please connect usb cable to device !",
                                    "Erase data faile ,please connect usb cable to device !",
                                    "Write data faile, please connect usb cable to device !",
                                    "Erase updata file faile ,please connect usb cable to device !",
                                    "Write updata file faile ,please connect usb cable to device !",
                                    "Updata faile ,please connect usb cable to device !",
                                    "Erase check code faile,please connect usb cable to device",
                                    "Write check code faile,please connect usb cable to device",
                                    "Erase file faile,please connect usb cable to device",
                                    "Write file faile,please connect usb cable to device",
                                    "Send over command faile !"};
  const test::FixturePackage package = test::ThreeAreaPackage();
  std::vector<uint32_t> reports;
  for (uint32_t report = 1; report < Traffic{}.over; report += 3) reports.push_back(report);
  reports.push_back(Traffic{}.over);
  for (const bool vanish : {false, true}) {
    for (const uint32_t report : reports) {
      SCOPED_TRACE(std::string(vanish ? "vanish at report " : "fail report ") +
                   std::to_string(report));
      SimRun run;
      test::LoadFixture(package, run.store, run.clock);
      sim::SimDeviceConfig config;
      (vanish ? config.vanish_report : config.fail_report) = report;
      auto device = run.sim_bus.Plug(config);
      const RunResult result = run.Run();
      const std::vector<std::string> messages = run.dialogs.messages();
      ASSERT_LE(messages.size(), 1u);
      if (!messages.empty()) {
        EXPECT_TRUE(known.count(messages.front())) << messages.front();
      }
      EXPECT_TRUE(run.Released());
      if (result == RunResult::kSucceeded) {
        EXPECT_TRUE(messages.empty());
        test::ExpectFlashHoldsPackage(device->FlashImage(), package);
      } else {
        EXPECT_EQ(result, RunResult::kFailed);
      }
    }
  }
}

}  // namespace
}  // namespace qv
