// qvupdate flash end to end: the real program against the simulated device, checked through its
// exit status, its texts and the flash images the simulator saves. What needs signals, a
// terminal or private mounts is in flash_e2e_posix_test.cpp.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "device/device_identity.h"
#include "file_traps.h"
#include "system_skips.h"
#include "flash_e2e_fixture.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::Count;
using test::FlashE2E;
using test::kAccessDeniedAdvice;
using test::kLockHolderNamed;
using test::kSameVersion;
using test::RecordLines;
using test::WaitForFreeDeviceMutex;
using test::WaitUntil;

TEST_F(FlashE2E, UpdatesTheDevice) {
  EXPECT_EQ(Flash({"flash", PackagePath()}), 0) << stderr_;
  EXPECT_NE(stdout_.find("Updata success !"), std::string::npos) << stdout_;
  EXPECT_NE(stdout_.find("Flash:F10"), std::string::npos);
  // The bookkeeping blocks' writes carry the last progress steps: the bar is full and the
  // status line says so before the success line.
  const size_t full = stdout_.find("Update:100% complete,");
  EXPECT_NE(full, std::string::npos) << stdout_;
  EXPECT_LT(full, stdout_.find("Updata success !"));
  EXPECT_NE(stdout_.find("Progress: 100%"), std::string::npos);
  EXPECT_EQ(stderr_, "");
  test::ExpectFlashHoldsPackage(Flash(1), package_);
  EXPECT_NE(Events(1).find("OVER 0x12345678 0xABCDEF01"), std::string::npos);
  EXPECT_EQ(Events(1).find("FAULT"), std::string::npos) << Events(1);
}

TEST_F(FlashE2E, ReinstallPolicyDecidesTheSameVersion) {
  EXPECT_EQ(Flash({"flash", PackagePath(), "--reinstall", "no"},
                  {"QVSIM_VERSION=" + std::string(kSameVersion)}),
            1);
  EXPECT_NE(stderr_.find("It's the latest version, Do you continue to updata ?"), std::string::npos)
      << stderr_;
  EXPECT_EQ(Events(1).find("RESET"), std::string::npos) << Events(1);
  EXPECT_EQ(Events(1).find("ERASE"), std::string::npos);
  // The declined unit says why, in the result line and in the record.
  const fs::path record = dir_ / "record.jsonl";
  EXPECT_EQ(Flash({"flash", PackagePath(), "--reinstall", "no", "-q", "--record", record.string()},
                  {"QVSIM_VERSION=" + std::string(kSameVersion)}),
            1);
  const std::string declined = "declined: The device already runs the package's version";
  EXPECT_NE((stdout_ + stderr_).find(declined), std::string::npos) << stdout_ << stderr_;
  const std::vector<nlohmann::json> lines = RecordLines(record);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["result"], "declined");
  EXPECT_EQ(lines[0]["message"].get<std::string>().rfind("The device already runs", 0), 0u);
  EXPECT_EQ(Events(1).find("RESET"), std::string::npos) << Events(1);

  // Without a terminal "ask" answers No as well.
  EXPECT_EQ(Flash({"flash", PackagePath()}, {"QVSIM_VERSION=" + std::string(kSameVersion)}), 1);

  EXPECT_EQ(Flash({"flash", PackagePath(), "--reinstall", "yes"},
                  {"QVSIM_VERSION=" + std::string(kSameVersion)}),
            0)
      << stderr_;
  test::ExpectFlashHoldsPackage(Flash(1), package_);
}

// qvupdate devices runs discovery's own choice: the first device would be taken, none while
// another updater process holds the device mutex, none that this user may not open (then it
// says how to get access).
std::vector<const char*> Joined(std::vector<const char*> first, const std::vector<const char*>& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

TEST_F(FlashE2E, DevicesNamesTheDeviceAnUpdateWouldTake) {
  struct Case {
    const char* name;
    int devices;
    bool mutex_held;
    int status;
    std::vector<const char*> texts;
    std::vector<std::string> env = {};
  };
  const Case cases[] = {
      {"two devices",
       2,
       false,
       0,
       {"  0416:B501  would be taken\n", "  0416:B501  matches\n", "Mutex QV_UPDATER: free\n"}},
      {"no device", 0, false, 1, {"No device, please connect usb cable to device !"}},
      {"mutex held", 1, true, 1, {"  0416:B501  matches\n", "held by another updater process"}},
      {"may not be opened", 1, false, 1, Joined({"sim:dev1  access denied\n"}, kAccessDeniedAdvice),
       {"QVSIM_OPEN_REFUSED=1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> env = {"QVSIM_DEVICES=" + std::to_string(c.devices)};
    env.insert(env.end(), c.env.begin(), c.env.end());
    NamedMutexResult held;
    std::unique_ptr<test::ChildProcess> child;
    if (c.mutex_held) {
      // This test holds the device mutex, as another updater process would.
      WaitForFreeDeviceMutex();
      held = SystemNamedMutexes().Create("QV_UPDATER");
      ASSERT_EQ(held.status, NamedMutexStatus::kCreated);
      child = Launch({"devices"}, env);
    } else {
      child = Start({"devices"}, env);
    }
    EXPECT_EQ(child->Wait(60'000), c.status);
    const std::string out = child->Stdout();
    for (const char* text : c.texts) EXPECT_NE(out.find(text), std::string::npos) << out;
  }
}

TEST_F(FlashE2E, FailuresExitOneWithTheirTexts) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::vector<const char*> texts;
  };
  const Case cases[] = {
      {"no device", {}, {"QVSIM_DEVICES=0"}, {"No device, please connect usb cable to device !"}},
      {"no package",
       {(dir_ / "missing.Bin").string()},
       {},
       {"No updata file ,please download again !"}},
      {"map erase fails",
       {},
       {"QVSIM_FAIL_REPORT=9"},
       {"Erase data faile ,please connect usb cable to device !\n  while writing the map area\n"}},
      {"device gone while writing the program",
       {},
       {"QVSIM_VANISH_REPORT=420"},
       {"Updata faile ,please connect usb cable to device !\n"
        "  while writing the program area\n"}},
      {"usage error", {PackagePath(), "--count", "2"}, {}, {"--count requires --continuous"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"flash"};
    if (c.args.empty()) args.push_back(PackagePath());
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(Flash(args, c.env), 1);
    size_t position = 0;
    for (const char* text : c.texts) {
      position = stderr_.find(text, position);
      EXPECT_NE(position, std::string::npos) << text << "\n" << stderr_;
    }
    EXPECT_EQ(stdout_.find("Updata success !"), std::string::npos);
    // A run that failed ends with the progress page's last status.
    const bool ran = std::string(c.name).find("while") != std::string::npos ||
                     std::string(c.name).find("fails") != std::string::npos;
    EXPECT_EQ(stdout_.find("Updata faile,please connect usb cable to device !\n") !=
                  std::string::npos,
              ran)
        << stdout_;
  }
}

// A special file where the package is expected ends the run with the loader's message and the
// system's reason; one where the readme is expected changes nothing. No case blocks (each run
// has the fixture's time limit) and the unreadable case runs as an unprivileged user.
class FlashSpecialFile : public FlashE2E, public ::testing::WithParamInterface<test::SpecialFile> {
};

TEST_P(FlashSpecialFile, AtThePackageOrTheReadmeNeverBlocks) {
  const test::SpecialFile kind = GetParam();
  fs::permissions(dir_, fs::perms::all);
  if (kind == test::SpecialFile::kUnreadable) launcher_ = test::UnprivilegedLauncher();
  const test::PlacedSpecialFile placed =
      test::PlaceSpecialFile(kind, dir_ / "special.Bin", test::Placement::kAnywhere);
  if (!placed.skip.empty()) GTEST_SKIP() << placed.skip;
  const fs::path& special = placed.path;
  const std::string reason = test::SpecialFileReason(kind);
  EXPECT_EQ(Flash({"flash", special.string()}), 1);
  // The file and the reason stand under the first message; the second does not repeat them.
  EXPECT_EQ(stderr_, "Open updata file faile !\n" + special.string() + ": " + reason +
                         "\nNo updata file ,please download again !\n");

  // A fresh simulated device, so that the run updates it.
  fs::remove_all(dir_ / "sim");
  fs::create_directory(dir_ / "sim");
  fs::permissions(dir_ / "sim", fs::perms::all);
  // The readme is looked for by its name beside the package.
  const std::string readme_skip = test::PlaceSpecialFile(kind, dir_ / "readme.txt").skip;
  if (!readme_skip.empty()) GTEST_SKIP() << "the readme: " << readme_skip;
  EXPECT_EQ(Flash({"flash", PackagePath()}), 0) << stderr_;
  EXPECT_NE(stdout_.find("Updata success !"), std::string::npos) << stdout_;
  EXPECT_EQ(stderr_, "");
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FlashSpecialFile, ::testing::ValuesIn(test::kSpecialFiles),
                         test::SpecialFileTestName);

// flash tells a device held by another updater process, and one attached that this user may
// not open (the simulator refuses the open as the system refuses a hidraw node without
// rights), apart from an absent one: its own text instead of "No device ...", exit status 1,
// and the device untouched.
TEST_F(FlashE2E, FlashSaysWhyNoDeviceWasTaken) {
  struct Case {
    const char* name;
    std::vector<std::string> env;
    bool held_elsewhere;
    std::vector<const char*> texts;  // on stderr, in this order
  };
  const Case cases[] = {
      {"held by another updater process", {}, true, {"in use by another updater process"}},
      {"attached, may not be opened", {"QVSIM_OPEN_REFUSED=1"}, false, kAccessDeniedAdvice},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_ / "sim");
    NamedMutexResult holder;
    if (c.held_elsewhere) {
      WaitForFreeDeviceMutex();
      holder = SystemNamedMutexes().Create("QV_UPDATER");
      ASSERT_EQ(holder.status, NamedMutexStatus::kCreated);
    }
    EXPECT_EQ(Flash({"flash", PackagePath()}, c.env, !c.held_elsewhere), 1);
    size_t position = 0;
    for (const char* text : c.texts) {
      position = stderr_.find(text, position);
      EXPECT_NE(position, std::string::npos) << text << "\n" << stderr_;
    }
    EXPECT_EQ(stderr_.find("No device, please connect"), std::string::npos) << stderr_;
    const std::string events = Events(1);
    EXPECT_EQ(events.find("QUERY"), std::string::npos) << events;
  }
}

// Three devices one after another: each is updated once it has been plugged in, the updated
// one is left alone until it is unplugged, and no over command is sent.
TEST_F(FlashE2E, ContinuousModeUpdatesDeviceAfterDevice) {
  const fs::path control = dir_ / "control.txt";
  std::ofstream(control).close();
  auto child = Start({"flash", PackagePath(), "--continuous", "--count", "3"},
                     {"QVSIM_CONTROL=" + control.string()});
  ASSERT_TRUE(child->started());

  auto successes = [&] {
    const std::string out = child->Stdout();
    size_t count = 0;
    for (size_t at = out.find("Updata success !"); at != std::string::npos;
         at = out.find("Updata success !", at + 1)) {
      ++count;
    }
    return count;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  for (size_t device = 1; device < 3 && std::chrono::steady_clock::now() < deadline;) {
    if (successes() < device) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    // Left plugged in for a while the updated device is not taken again. It must then be gone
    // for two polls before the next one counts as new (a quicker swap counts as the same).
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    std::ofstream(control, std::ios::app) << "unplug " << device << "\n";
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    std::ofstream(control, std::ios::app) << "plug\n";
    ++device;
  }
  EXPECT_EQ(child->Wait(90'000), 0) << child->Stderr();
  const std::string out = child->Stdout();
  EXPECT_NE(out.find("Units: 3\nUpdated: 3\nFailed: 0\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("  unit "), std::string::npos) << out;  // only units not updated are listed
  for (int device = 1; device <= 3; ++device) {
    SCOPED_TRACE(device);
    test::ExpectFlashHoldsPackage(Flash(device), package_);
    const std::string events = Events(device);
    EXPECT_EQ(events.find("OVER"), std::string::npos) << events;
    // Each device was reset once: it was updated exactly once.
    const size_t first = events.find("RESET");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(events.find("RESET", first + 1), std::string::npos) << events;
  }
}

// devices --query asks each device for its version record and flash id with the query an
// update sends first, and resets nothing: with a package it says whether the device runs the
// package's version; a device held by another process is named with its holder at once, and
// one that does not answer is reported after the answer time, not waited for.
TEST_F(FlashE2E, DevicesQueryTellsWhatIsOnTheDevice) {
  struct Case {
    const char* name;
    std::vector<std::string> env;
    bool hold_mutex;
    int status;
    const char* state;
    nlohmann::json same_version;
    const char* text;
  };
  // Where the system names the holder, the line names this process.
  const std::string holder = kLockHolderNamed
                                 ? "held by process " + std::to_string(ProcessId())
                                 : std::string("held by another updater process\n");
  const Case cases[] = {
      {"same version", {"QVSIM_VERSION=" + std::string(kSameVersion)}, false, 0, "answered",
       true, "    runs the package's version\n"},
      {"other version", {}, false, 0, "answered", false,
       "    runs another version than the package's\n"},
      {"held by another process", {}, true, 1, "held by another updater process", nullptr,
       holder.c_str()},
      {"no answer", {"QVSIM_STOP_READS=1"}, false, 1, "no answer", nullptr,
       "sim:dev1  no answer\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NamedMutexResult held;
    if (c.hold_mutex) {
      WaitForFreeDeviceMutex();
      held = SystemNamedMutexes().Create("QV_UPDATER");
      ASSERT_EQ(held.status, NamedMutexStatus::kCreated);
    }
    for (const bool json : {false, true}) {
      std::vector<std::string> args{"devices", "--query", "--package", PackagePath()};
      if (json) args.push_back("--json");
      const auto started = std::chrono::steady_clock::now();
      auto child = c.hold_mutex ? Launch(args, c.env) : Start(args, c.env);
      EXPECT_EQ(child->Wait(60'000), c.status) << child->Stderr();
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
      const std::string out = child->Stdout();
      if (!json) {
        EXPECT_NE(out.find(c.text), std::string::npos) << out;
        continue;
      }
      const nlohmann::json devices = nlohmann::json::parse(out).at("devices");
      ASSERT_EQ(devices.size(), 1u) << out;
      const nlohmann::json& device = devices[0];
      EXPECT_EQ(device["state"], c.state);
      EXPECT_EQ(device["same_version"], c.same_version);
      if (std::string(c.state) == "answered") {
        EXPECT_EQ(device["version"].get<std::string>().size(), 2u * 14u) << out;
        EXPECT_TRUE(device["flash_id"].is_string()) << out;
      }
      if (c.hold_mutex) {
        if (kLockHolderNamed) {
          EXPECT_EQ(device["holder"]["pid"], ProcessId()) << out;
        } else {
          EXPECT_TRUE(device.value("holder", nlohmann::json()).is_null()) << out;
        }
      }
    }
    EXPECT_EQ(Events(1).find("RESET"), std::string::npos) << Events(1);
    EXPECT_EQ(Events(1).find("ERASE"), std::string::npos) << Events(1);
  }
}

// --all updates every attached device at once, each on its own link: one that stops answering
// and one pulled out in the middle of its write fail with their messages, the others are
// updated, and the record has one whole line per device.
class FlashAll : public FlashE2E, public ::testing::WithParamInterface<int> {};

TEST_P(FlashAll, OneFailingAndOnePulledOutDisturbNoOther) {
  const int devices = GetParam();
  const fs::path control = dir_ / "control.txt";
  std::ofstream(control) << "stall 1\nvanish 2 300\n";
  const fs::path record = dir_ / "record.jsonl";
  EXPECT_EQ(Flash({"flash", PackagePath(), "--all", "--record", record.string()},
                  {"QVSIM_DEVICES=" + std::to_string(devices), "QVSIM_CONTROL=" + control.string()}),
            1)
      << stderr_;
  EXPECT_NE(stdout_.find("Updated: " + std::to_string(devices - 2) + "\nFailed: 2\n"),
            std::string::npos)
      << stdout_;
  // Each failure is said once as it happens, in its unit's line with its device and area, and
  // once in the summary, with the same.
  const std::string erase_failed = "Erase data faile ,please connect usb cable to device !";
  EXPECT_NE(stdout_.find("  serial SIM1  failed  "), std::string::npos) << stdout_;
  EXPECT_NE(stdout_.find(erase_failed + " (map area)\n"), std::string::npos) << stdout_;
  EXPECT_EQ(Count(stdout_ + stderr_, erase_failed), 2u) << stdout_ << stderr_;
  EXPECT_NE(stdout_.find("       unit 1: serial SIM1, map area\n"), std::string::npos) << stdout_;
  EXPECT_NE(stdout_.find("       unit 2: serial SIM2, "), std::string::npos) << stdout_;
  EXPECT_EQ(stderr_.find("faile"), std::string::npos) << stderr_;
  for (int device = 3; device <= devices; ++device) {
    SCOPED_TRACE(device);
    test::ExpectFlashHoldsPackage(Flash(device), package_);
    EXPECT_EQ(Events(device).find("FAULT"), std::string::npos) << Events(device);
    EXPECT_EQ(Events(device).find("OVER"), Events(device).rfind("OVER"));  // one run each
  }
  const std::vector<nlohmann::json> lines = RecordLines(record);
  ASSERT_EQ(lines.size(), static_cast<size_t>(devices));
  std::map<std::string, std::string> results;
  for (const nlohmann::json& line : lines) {
    results[line["device"]["serial"]] = line["result"];
    // Where a failed run stopped; an updated one names no area.
    EXPECT_EQ(line.contains("area"), line["result"] == "failed") << line;
    EXPECT_EQ(line["package"]["sha256"].get<std::string>().size(), 64u);
    EXPECT_GT(line["reports_sent"].get<int>(), 0);
  }
  EXPECT_EQ(results["SIM1"], "failed");
  EXPECT_EQ(results["SIM2"], "failed");
  for (int device = 3; device <= devices; ++device) {
    EXPECT_EQ(results["SIM" + std::to_string(device)], "updated");
  }

  // The report of the record says what the station's summary said.
  const std::string summary = stdout_.substr(stdout_.rfind("Units: "));
  auto report = Start({"report", record.string()});
  ASSERT_EQ(report->Wait(10'000), 0);
  EXPECT_EQ(report->Stdout(), summary);
  EXPECT_NE(summary.find("Units: " + std::to_string(devices) + "\nUpdated: " +
                         std::to_string(devices - 2) + "\nFailed: 2\n"),
            std::string::npos)
      << summary;
}

INSTANTIATE_TEST_SUITE_P(Devices, FlashAll, ::testing::Values(2, 8));

// A process killed in the middle of a unit leaves a record of whole lines only.
TEST_F(FlashE2E, KilledStationLeavesOnlyWholeRecordLines) {
  const fs::path record = dir_ / "record.jsonl";
  const fs::path control = dir_ / "control.txt";
  std::ofstream(control).close();
  auto child = Start({"flash", PackagePath(), "--all", "--continuous", "--record", record.string()},
                     {"QVSIM_DEVICES=2", "QVSIM_REPORT_LATENCY_MS=2",
                      "QVSIM_CONTROL=" + control.string()});
  ASSERT_TRUE(WaitUntil([&] { return RecordLines(record).size() >= 2; }));
  std::ofstream(control, std::ios::app) << "unplug 1\nunplug 2\n";
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  std::ofstream(control, std::ios::app) << "plug\nplug\n";
  ASSERT_TRUE(WaitUntil([&] { return Count(child->Stdout(), "Update:") >= 3; }));
  child->Kill();
  child->Wait(10'000);
  const std::string text = test::ReadTextFile(record);
  EXPECT_EQ(text.back(), '\n');
  const std::vector<nlohmann::json> lines = RecordLines(record);
  EXPECT_GE(lines.size(), 2u);
  for (const nlohmann::json& line : lines) EXPECT_EQ(line["result"], "updated");
}

// A station started before its first device waits for it; an up-to-date unit is skipped as
// declined and the station goes on; --json prints events only; --device picks one device and
// the run finds it under its new path after the reset.
TEST_F(FlashE2E, StationWaitsSkipsUpToDateUnitsAndSpeaksJson) {
  const fs::path control = dir_ / "control.txt";
  std::ofstream(control).close();
  const fs::path record = dir_ / "record.jsonl";
  auto child = Start({"flash", PackagePath(), "--continuous", "--count", "2", "--reinstall", "no",
                      "--json", "--record", record.string()},
                     {"QVSIM_DEVICES=0", "QVSIM_VERSION=" + std::string(kSameVersion),
                      "QVSIM_CONTROL=" + control.string()});
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  std::ofstream(control, std::ios::app) << "plug\n";
  ASSERT_TRUE(WaitUntil([&] { return RecordLines(record).size() == 1; }));
  std::ofstream(control, std::ios::app) << "unplug 1\n";
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  std::ofstream(control, std::ios::app) << "plug\n";
  EXPECT_EQ(child->Wait(30'000), 1) << child->Stderr();
  for (const nlohmann::json& line : RecordLines(record)) EXPECT_EQ(line["result"], "declined");
  std::istringstream out(child->Stdout());
  std::vector<std::string> events;
  for (std::string line; std::getline(out, line);) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    ASSERT_TRUE(event.is_object()) << line;
    events.push_back(event["event"]);
  }
  EXPECT_EQ(Count(test::ReadTextFile(dir_ / "stdout.txt"), "\"event\":\"device\""), 2u);
  EXPECT_EQ(events.back(), "summary");
  EXPECT_EQ(Events(1).find("RESET"), std::string::npos);

  EXPECT_EQ(Flash({"flash", PackagePath(), "--device", "SIM2"},
                  {"QVSIM_DEVICES=2", "QVSIM_NEW_PATH_AFTER_RESET=1"}),
            0)
      << stderr_;
  test::ExpectFlashHoldsPackage(Flash(2), package_);
  EXPECT_EQ(Events(1).find("QUERY"), std::string::npos);
  EXPECT_NE(Events(2).find("back on the bus"), std::string::npos);
}

// Devices that neither a USB port nor a serial number tells apart: a run that would reset one
// of them refuses before anything is sent (the simulator's devices have no port). One such
// device alone is found again after its reset under a new path.
TEST_F(FlashE2E, DevicesNothingTellsApartAreRefusedBeforeAnythingIsSent) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> env;
  };
  const Case cases[] = {
      {"--device names the second of two with one serial",
       {"--device", "sim:dev2"},
       {"QVSIM_DEVICES=2", "QVSIM_SERIAL=S"}},
      {"--all over two with one serial", {"--all"}, {"QVSIM_DEVICES=2", "QVSIM_SERIAL=S"}},
      {"one device of two without a serial", {}, {"QVSIM_DEVICES=2", "QVSIM_SERIAL="}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"flash", PackagePath()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(Flash(args, c.env), 1);
    EXPECT_NE(stderr_.find(kIndistinctDevicesText), std::string::npos) << stderr_;
    EXPECT_EQ(Events(1).find("QUERY"), std::string::npos) << Events(1);
    EXPECT_EQ(Events(2).find("QUERY"), std::string::npos) << Events(2);
  }

  EXPECT_EQ(Flash({"flash", PackagePath(), "--all"},
                  {"QVSIM_DEVICES=1", "QVSIM_SERIAL=", "QVSIM_NEW_PATH_AFTER_RESET=1"}),
            0)
      << stderr_;
  test::ExpectFlashHoldsPackage(Flash(1), package_);
}

// A target the record, the trace or the report is pointed at that is no regular file, made in
// a folder, and the reason it is refused with.
struct NoRegularFile {
  const char* name;
  std::function<test::PlacedSpecialFile(const fs::path&)> make;
  const char* reason;
};

const NoRegularFile kNoRegularFiles[] = {
    {"Symlink",
     [](const fs::path& dir) -> test::PlacedSpecialFile {
       std::ofstream(dir / "victim") << "keep\n";
       return {dir / "target", test::MakeSymlink(dir / "victim", dir / "target")};
     },
     "It is a symbolic link, not a regular file"},
    {"Fifo",
     [](const fs::path& dir) -> test::PlacedSpecialFile {
       return {dir / "target", test::MakeFifo(dir / "target")};
     },
     "It is a FIFO, not a regular file"},
    {"Directory",
     [](const fs::path& dir) -> test::PlacedSpecialFile {
       fs::create_directory(dir / "target");
       return {dir / "target", {}};
     },
     "It is a directory, not a regular file"},
    {"DevFull",
     [](const fs::path&) -> test::PlacedSpecialFile {
       return {test::CharacterDevice("/dev/full"), {}};
     },
     "It is a character device, not a regular file"},
    {"DevZero",
     [](const fs::path&) -> test::PlacedSpecialFile {
       return {test::CharacterDevice("/dev/zero"), {}};
     },
     "It is a character device, not a regular file"},
};

class FlashNoRegularFile : public FlashE2E, public ::testing::WithParamInterface<NoRegularFile> {
};

// What the record, the trace or the report are pointed at: a target that is no regular file (or
// a link) is refused with its reason and status 1 before a device is touched, and nothing in
// the folder changes.
TEST_P(FlashNoRegularFile, RecordTraceAndReportRefuseIt) {
  const fs::path targets = dir_ / "targets";
  const NoRegularFile& c = GetParam();
  for (const std::string option : {"--record", "--trace", "report"}) {
    SCOPED_TRACE(option);
    fs::remove_all(targets);
    fs::create_directory(targets);
    const test::PlacedSpecialFile placed = c.make(targets);
    QV_SKIP_UNMADE(placed.skip);
    const fs::path& path = placed.path;
    const auto before = test::FolderSnapshot(targets);
    if (option == "report" && fs::is_symlink(path)) {
      // Reading through a link the user names changes nothing: the report follows it.
      EXPECT_EQ(Flash({"report", path.string()}), 0) << stderr_;
      EXPECT_NE(stdout_.find("Unreadable lines skipped: 1\n"), std::string::npos) << stdout_;
      stdout_.clear();
    } else if (option == "report" && fs::is_directory(path)) {
      // A folder stands for the records in it; this one holds none.
      EXPECT_EQ(Flash({"report", path.string()}), 1);
      EXPECT_EQ(stderr_, "No record (*.jsonl) in the folder " + path.string() + "\n");
    } else if (option == "report") {
      EXPECT_EQ(Flash({"report", path.string()}), 1);
      EXPECT_EQ(stderr_, "Cannot read the record " + path.string() + "\n" + c.reason + "\n");
    } else {
      EXPECT_EQ(Flash({"flash", PackagePath(), option, path.string()}), 1);
      const std::string what = option == "--record" ? "record" : "trace";
      EXPECT_EQ(stderr_, "Cannot open the " + what + " file\n  " + path.string() + ": " +
                             c.reason + "\n");
      EXPECT_EQ(Events(1).find("RESET"), std::string::npos) << Events(1);
    }
    EXPECT_EQ(stdout_, "");
    EXPECT_EQ(test::FolderSnapshot(targets), before);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FlashNoRegularFile, ::testing::ValuesIn(kNoRegularFiles),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv
