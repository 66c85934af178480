// qvupdate flash end to end: the real program against the simulated device preloaded in front
// of hidapi, checked through its exit status, its texts and the flash images the simulator
// saves.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "flash_check.h"
#include "package_fixture.h"
#include "device/device_identity.h"
#include "platform/named_mutex.h"
#include "file_traps.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// The device mutex is machine-wide: while another program of this system (another test, say)
// holds a device, qvupdate would find none. Wait until it is free before starting one.
void WaitForFreeDeviceMutex() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (SystemNamedMutexes().Create("QV_UPDATER").status != NamedMutexStatus::kAlreadyExists) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

const char* const kSameVersion = "50 31 32 33 00 53 34 35 36 00 4D 37 38 39";

class FlashE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qv_flash_e2e_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sim");
    package_ = test::ThreeAreaPackage();
    const std::vector<uint8_t> file = test::FixtureFile(package_);
    std::ofstream(dir_ / "QVUpdate.Bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), file.size());
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  std::unique_ptr<test::ChildProcess> Start(std::vector<std::string> args,
                                            std::vector<std::string> env = {}) {
    WaitForFreeDeviceMutex();
    return Launch(std::move(args), std::move(env));
  }
  // Start without waiting for the device mutex.
  std::unique_ptr<test::ChildProcess> Launch(std::vector<std::string> args,
                                             std::vector<std::string> env) {
    args.insert(args.begin(), QV_QVUPDATE_PATH);
    args.insert(args.begin(), launcher_.begin(), launcher_.end());
    env.push_back(std::string("LD_PRELOAD=") + QV_SIM_LIBRARY_PATH);
    env.push_back("QVSIM_DIR=" + (dir_ / "sim").string());
    return std::make_unique<test::ChildProcess>(args, env, dir_);
  }

  int Flash(std::vector<std::string> args, std::vector<std::string> env = {},
            bool wait_for_free_mutex = true) {
    auto child = wait_for_free_mutex ? Start(std::move(args), std::move(env))
                                     : Launch(std::move(args), std::move(env));
    EXPECT_TRUE(child->started());
    const int status = child->Wait(120'000);
    stdout_ = child->Stdout();
    stderr_ = child->Stderr();
    return status;
  }

  [[nodiscard]] std::string PackagePath() const { return (dir_ / "QVUpdate.Bin").string(); }
  [[nodiscard]] std::vector<uint8_t> Flash(int device) const {
    return test::ReadBinaryFile(dir_ / "sim" / ("dev" + std::to_string(device) + ".flash"));
  }
  [[nodiscard]] std::string Events(int device) const {
    return test::ReadTextFile(dir_ / "sim" / ("dev" + std::to_string(device) + ".events"));
  }

  fs::path dir_;
  std::vector<std::string> launcher_;  // runs the program, when set
  test::FixturePackage package_;
  std::string stdout_, stderr_;
};

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
      {"may not be opened",
       1,
       false,
       1,
       {"sim:dev1  access denied\n", "may not open it (permission denied)", "70-qvupdater.rules",
        "plug it in again."},
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
       {"Erase data faile ,please connect usb cable to device !",
        "Updata faile,please connect usb cable to device !"}},
      {"device gone while writing the program",
       {},
       {"QVSIM_VANISH_REPORT=420"},
       {"Updata faile ,please connect usb cable to device !",
        "Updata faile,please connect usb cable to device !"}},
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
  }
}

// A special file where the package is expected ends the run with the loader's message and the
// system's reason; one where the readme is expected changes nothing. No case blocks (each run
// has the fixture's time limit) and the unreadable case runs as an unprivileged user.
TEST_F(FlashE2E, SpecialFilesAtThePackageOrTheReadmeNeverBlock) {
  fs::permissions(dir_, fs::perms::all);
  for (const test::SpecialFile kind : test::kSpecialFiles) {
    SCOPED_TRACE(test::SpecialFileName(kind));
    launcher_.clear();
    if (kind == test::SpecialFile::kUnreadable && ::geteuid() == 0) {
      const std::string id = std::to_string(test::kUnprivilegedId);
      launcher_ = {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
    }
    const fs::path special = dir_ / "special.Bin";
    const std::string skip = test::PlaceSpecialFile(kind, special);
    if (!skip.empty()) {
      std::cout << "[  SKIPPED ] " << test::SpecialFileName(kind) << ": " << skip << "\n";
      continue;
    }
    const std::string reason = test::SpecialFileReason(kind);
    EXPECT_EQ(Flash({"flash", special.string()}), 1);
    // The file and the reason stand under the first message; the second does not repeat them.
    EXPECT_EQ(stderr_, "Open updata file faile !\n" + special.string() + ": " + reason +
                           "\nNo updata file ,please download again !\n");
    fs::remove(special);

    // A fresh simulated device, so every run updates it.
    fs::remove_all(dir_ / "sim");
    fs::create_directory(dir_ / "sim");
    fs::permissions(dir_ / "sim", fs::perms::all);
    ASSERT_EQ(test::PlaceSpecialFile(kind, dir_ / "readme.txt"), "");
    EXPECT_EQ(Flash({"flash", PackagePath()}), 0) << stderr_;
    EXPECT_NE(stdout_.find("Updata success !"), std::string::npos) << stdout_;
    EXPECT_EQ(stderr_, "");
    fs::remove(dir_ / "readme.txt");
  }
}

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
      {"attached, may not be opened",
       {"QVSIM_OPEN_REFUSED=1"},
       false,
       {"The device is attached, but this user may not open it (permission denied).",
        "70-qvupdater.rules", "plug it in again."}},
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
  EXPECT_NE(out.find("Units: 3\nDevices updated: 3\nDevices failed: 0\n"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("\nDevice "), std::string::npos) << out;  // only units not updated are listed
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

// Ctrl-C while waiting for the next device ends the session cleanly with its summary.
TEST_F(FlashE2E, InterruptEndsContinuousModeWithASummary) {
  auto child = Start({"flash", PackagePath(), "--continuous"});
  ASSERT_TRUE(child->started());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (child->Stdout().find("If you need to continue") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  child->Signal(SIGINT);
  EXPECT_EQ(child->Wait(10'000), 0) << child->Stderr();
  EXPECT_NE(child->Stdout().find("Units: 1\nDevices updated: 1\nDevices failed: 0\n"),
            std::string::npos)
      << child->Stdout();
  test::ExpectFlashHoldsPackage(Flash(1), package_);
}

// Waits until `done` holds, at most timeout_ms; whether it did.
template <typename Done>
bool WaitUntil(Done done, int timeout_ms = 60'000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Every line of a record file, each parsed; a line that does not parse fails the test.
std::vector<nlohmann::json> RecordLines(const fs::path& path) {
  std::istringstream text(test::ReadTextFile(path));
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(text, line);) {
    const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    EXPECT_TRUE(parsed.is_object()) << "broken record line: " << line;
    if (parsed.is_object()) lines.push_back(parsed);
  }
  return lines;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

// On a terminal (a pseudo-terminal, through script(1)) each unit that ends leaves a permanent
// line: three continuous units leave three lines, and a failed unit's line names its message
// and the area it was writing.
TEST_F(FlashE2E, EachUnitLeavesALineOnATerminal) {
  struct Case {
    const char* name;
    std::string args;
    std::vector<std::string> env;
    int status;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"three continuous units",
       "--continuous --count 3",
       {"QVSIM_DEVICES=3"},
       0,
       {"Unit 1  serial SIM1  updated  ", "Unit 2  serial SIM2  updated  ",
        "Unit 3  serial SIM3  updated  "}},
      {"a failure",
       "--all",
       {"QVSIM_DEVICES=1", "QVSIM_FAIL_REPORT=400"},
       1,
       {"Unit 1  serial SIM1  failed  "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WaitForFreeDeviceMutex();
    std::vector<std::string> env = c.env;
    env.push_back(std::string("LD_PRELOAD=") + QV_SIM_LIBRARY_PATH);
    env.push_back("QVSIM_DIR=" + (dir_ / "sim").string());
    const std::string command = std::string("stty cols 200; exec ") + QV_QVUPDATE_PATH +
                                " flash '" + PackagePath() + "' " + c.args;
    auto child = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{"/usr/bin/script", "-qefc", command, "/dev/null"}, env, dir_);
    EXPECT_EQ(child->Wait(120'000), c.status) << child->Stdout();
    const std::string out = child->Stdout();
    for (const std::string& line : c.lines) {
      EXPECT_EQ(Count(out, line), 1u) << line << "\n" << out;
    }
    if (c.status != 0) {
      const std::size_t failed = out.find(c.lines.front());
      const std::size_t end = out.find("\r\n", failed);
      ASSERT_NE(end, std::string::npos) << out;
      const std::string line = out.substr(failed, end - failed);
      EXPECT_NE(line.find("faile"), std::string::npos) << line;  // the run's message
      EXPECT_NE(line.find(" area)"), std::string::npos) << line;
    }
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
  const std::string holder = "held by process " + std::to_string(::getpid());
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
        EXPECT_EQ(device["holder"]["pid"], ::getpid()) << out;
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
  EXPECT_NE(stdout_.find("Devices updated: " + std::to_string(devices - 2) +
                         "\nDevices failed: 2\n"),
            std::string::npos)
      << stdout_;
  // The messages name their device after the system's text.
  EXPECT_NE(stderr_.find("Erase data faile ,please connect usb cable to device !\n"
                         "  device serial SIM1, while writing the map area\n"),
            std::string::npos)
      << stderr_;
  EXPECT_NE(stderr_.find("  device serial SIM2, while writing the "), std::string::npos) << stderr_;
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
    EXPECT_EQ(line["package"]["sha256"].get<std::string>().size(), 64u);
    EXPECT_GT(line["reports_sent"].get<int>(), 0);
  }
  EXPECT_EQ(results["SIM1"], "failed");
  EXPECT_EQ(results["SIM2"], "failed");
  for (int device = 3; device <= devices; ++device) {
    EXPECT_EQ(results["SIM" + std::to_string(device)], "updated");
  }

  auto report = Start({"report", record.string()});
  ASSERT_EQ(report->Wait(10'000), 0);
  EXPECT_NE(report->Stdout().find("Units: " + std::to_string(devices) + "\nUpdated: " +
                                  std::to_string(devices - 2) + "\nFailed: 2\n"),
            std::string::npos)
      << report->Stdout();
}

INSTANTIATE_TEST_SUITE_P(Devices, FlashAll, ::testing::Values(2, 8));

// Ctrl-C during a write: the first is acknowledged at once on its own line and the device
// finishes; a second aborts it cleanly, with the unit recorded as interrupted, the summary
// printed and status 130; in single, continuous and --all mode. The abort says what it did (at
// the user's request, which device, which area) and blames no cable.
TEST_F(FlashE2E, InterruptionFinishesOrAbortsTheDeviceCleanly) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int signals;
    int status;
    const char* result;
  };
  const Case cases[] = {
      {"continuous, one Ctrl-C", {"--continuous"}, 1, 0, "updated"},
      {"continuous, two", {"--continuous"}, 2, 130, "interrupted"},
      {"single, two", {}, 2, 130, "interrupted"},
      {"all, two", {"--all"}, 2, 130, "interrupted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path record = dir_ / (std::string("record-") + std::to_string(&c - cases));
    std::vector<std::string> args{"flash", PackagePath(), "--record", record.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto child = Start(args, {"QVSIM_REPORT_LATENCY_MS=3"});
    ASSERT_TRUE(WaitUntil([&] { return child->Stdout().find("Update:") != std::string::npos; }));
    child->Signal(SIGINT);
    ASSERT_TRUE(WaitUntil(
        [&] {
          return child->Stderr().find("stopping after this device; Ctrl-C again to abort it\n") !=
                 std::string::npos;
        },
        2'000));
    if (c.signals == 2) child->Signal(SIGTERM);
    EXPECT_EQ(child->Wait(60'000), c.status) << child->Stderr();
    const std::string out = child->Stdout();
    const std::string err = child->Stderr();
    const std::vector<nlohmann::json> lines = RecordLines(record);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["result"], c.result);
    if (c.signals == 1) {
      EXPECT_NE(out.find("Devices updated: 1\n"), std::string::npos) << out;
      continue;
    }
    EXPECT_NE(out.find("Device 1: interrupted"), std::string::npos) << out;
    EXPECT_NE(err.find("The update was stopped at the user's request.\n  device "),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("while writing the "), std::string::npos) << err;
    EXPECT_NE(err.find("; the device must be updated again before use\n"), std::string::npos)
        << err;
    EXPECT_EQ(err.find("usb cable"), std::string::npos) << err;
    EXPECT_EQ(lines[0]["message"], "The update was stopped at the user's request.");
  }
}

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
  child->Signal(SIGKILL);
  child->Wait(10'000);
  const std::string text = test::ReadTextFile(record);
  EXPECT_EQ(text.back(), '\n');
  const std::vector<nlohmann::json> lines = RecordLines(record);
  EXPECT_GE(lines.size(), 2u);
  for (const nlohmann::json& line : lines) EXPECT_EQ(line["result"], "updated");
}

// While a station runs, another updater process takes no device, also while the station's
// device resets, and names the station's process; with --wait it waits for the station and
// then updates. Once the station has ended another one takes the device.
TEST_F(FlashE2E, AnotherUpdaterWaitsForTheStation) {
  auto station = Start({"flash", PackagePath(), "--continuous"});
  ASSERT_TRUE(WaitUntil([&] { return station->Stdout().find("To updata") != std::string::npos; }));
  const std::string holder =
      "QV_UPDATER_RUN is held by process " + std::to_string(station->pid()) + " (qvupdate)\n";
  auto other = std::make_unique<test::ChildProcess>(
      std::vector<std::string>{QV_QVUPDATE_PATH, "flash", PackagePath()},
      std::vector<std::string>{std::string("LD_PRELOAD=") + QV_SIM_LIBRARY_PATH},
      dir_ / "sim");
  EXPECT_EQ(other->Wait(30'000), 1);
  EXPECT_NE(other->Stderr().find("in use by another updater process"), std::string::npos)
      << other->Stderr();
  EXPECT_NE(other->Stderr().find(holder), std::string::npos) << other->Stderr();
  auto waiting = std::make_unique<test::ChildProcess>(
      std::vector<std::string>{QV_QVUPDATE_PATH, "flash", PackagePath(), "--wait",
                               "--reinstall", "yes"},
      std::vector<std::string>{std::string("LD_PRELOAD=") + QV_SIM_LIBRARY_PATH},
      dir_ / "sim");
  ASSERT_TRUE(WaitUntil([&] {
    return waiting->Stderr().find("waiting for it to end.\n  " + holder) != std::string::npos;
  })) << waiting->Stderr();
  station->Signal(SIGINT);
  EXPECT_EQ(station->Wait(60'000), 0) << station->Stderr();
  EXPECT_EQ(waiting->Wait(60'000), 0) << waiting->Stderr();
  EXPECT_NE(waiting->Stdout().find("Updata success !"), std::string::npos) << waiting->Stdout();
  other = std::make_unique<test::ChildProcess>(
      std::vector<std::string>{QV_QVUPDATE_PATH, "flash", PackagePath()},
      std::vector<std::string>{std::string("LD_PRELOAD=") + QV_SIM_LIBRARY_PATH},
      dir_ / "sim");
  EXPECT_EQ(other->Wait(60'000), 0) << other->Stderr();
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

// The signals a closed terminal, Ctrl-\ or a lost reader send reach the station in the middle
// of a write: SIGHUP is a stop (the devices finish), SIGQUIT an abort (the devices are released
// and recorded as interrupted), a broken stdout is ignored (the devices finish, the record is
// written, the status says the output was lost). Each device is checked afterwards.
TEST_F(FlashE2E, SignalsNeverLeaveADeviceHalfWritten) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int devices;
    int signal;  // 0: stdout's reader goes away instead
    int status;
    const char* result;
  };
  const Case cases[] = {
      {"single, SIGHUP", {}, 1, SIGHUP, 0, "updated"},
      {"continuous, SIGHUP", {"--continuous"}, 1, SIGHUP, 0, "updated"},
      {"all, SIGHUP", {"--all", "--continuous"}, 2, SIGHUP, 0, "updated"},
      {"single, SIGQUIT", {}, 1, SIGQUIT, 130, "interrupted"},
      {"continuous, SIGQUIT", {"--continuous"}, 1, SIGQUIT, 130, "interrupted"},
      {"all, SIGQUIT", {"--all"}, 2, SIGQUIT, 130, "interrupted"},
      {"single, reader gone", {}, 1, 0, 1, "updated"},
      {"all, reader gone", {"--all"}, 2, 0, 1, "updated"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_ / "sim");
    fs::create_directory(dir_ / "sim");
    const fs::path record = dir_ / (std::string("record-") + std::to_string(&c - cases));
    std::vector<std::string> args{"flash", PackagePath(), "--record", record.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    launcher_.clear();
    if (c.signal == 0) {
      // The station's stdout goes to a reader that takes one line and leaves.
      launcher_ = {"/bin/bash", "-c", "\"$0\" \"$@\" | head -n 1 >/dev/null; exit ${PIPESTATUS[0]}"};
    }
    auto child = Start(args, {"QVSIM_REPORT_LATENCY_MS=3",
                              "QVSIM_DEVICES=" + std::to_string(c.devices)});
    if (c.signal != 0) {
      ASSERT_TRUE(WaitUntil([&] { return child->Stdout().find("Update:") != std::string::npos; }));
      child->Signal(c.signal);
    }
    EXPECT_EQ(child->Wait(120'000), c.status) << child->Stderr();
    if (c.signal == 0) {
      EXPECT_NE(child->Stderr().find("The output was lost"), std::string::npos) << child->Stderr();
    }
    const std::vector<nlohmann::json> lines = RecordLines(record);
    ASSERT_EQ(lines.size(), static_cast<size_t>(c.devices));
    for (int device = 1; device <= c.devices; ++device) {
      EXPECT_EQ(lines[device - 1]["result"], c.result);
      if (std::string(c.result) == "updated") test::ExpectFlashHoldsPackage(Flash(device), package_);
    }
    if (c.signal == SIGQUIT) {
      EXPECT_NE(child->Stdout().find("Device 1: interrupted"), std::string::npos)
          << child->Stdout();
    }
  }
  launcher_.clear();
}

// What the record, the trace or the report are pointed at: a target that is no regular file (or
// a link) is refused with its reason and status 1 before a device is touched, and nothing in
// the folder changes.
TEST_F(FlashE2E, RecordTraceAndReportRefuseWhatIsNoRegularFile) {
  struct Case {
    const char* name;
    std::function<fs::path(const fs::path&)> make;
    const char* reason;
  };
  const Case cases[] = {
      {"symlink",
       [](const fs::path& dir) {
         std::ofstream(dir / "victim") << "keep\n";
         fs::create_symlink(dir / "victim", dir / "target");
         return dir / "target";
       },
       "It is a symbolic link, not a regular file"},
      {"FIFO",
       [](const fs::path& dir) {
         EXPECT_EQ(::mkfifo((dir / "target").c_str(), 0600), 0);
         return dir / "target";
       },
       "It is a FIFO, not a regular file"},
      {"directory",
       [](const fs::path& dir) {
         fs::create_directory(dir / "target");
         return dir / "target";
       },
       "It is a directory, not a regular file"},
      {"/dev/full", [](const fs::path&) { return fs::path("/dev/full"); },
       "It is a character device, not a regular file"},
      {"/dev/zero", [](const fs::path&) { return fs::path("/dev/zero"); },
       "It is a character device, not a regular file"},
  };
  const fs::path targets = dir_ / "targets";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string option : {"--record", "--trace", "report"}) {
      SCOPED_TRACE(option);
      fs::remove_all(targets);
      fs::create_directory(targets);
      const fs::path path = c.make(targets);
      const auto before = test::FolderSnapshot(targets);
      if (option == "report" && fs::is_symlink(path)) {
        // Reading through a link the user names changes nothing: the report follows it.
        EXPECT_EQ(Flash({"report", path.string()}), 0) << stderr_;
        EXPECT_NE(stdout_.find("Unreadable lines skipped: 1\n"), std::string::npos) << stdout_;
        stdout_.clear();
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
}

// A record on a file system that fills up in the middle of a line: the cut line is taken back,
// the earlier lines stay whole, the station says so and exits 1. The file system is a small
// tmpfs in a private mount namespace (root only).
TEST_F(FlashE2E, AFullFileSystemLeavesOnlyWholeRecordLines) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  const fs::path full = dir_ / "full";
  fs::create_directory(full);
  // An earlier whole line that leaves less room in the file's last page than a line needs.
  const std::string earlier = "{\"result\":\"updated\",\"pad\":\"" + std::string(3900, 'x') + "\"}\n";
  std::ofstream(dir_ / "earlier") << earlier;
  launcher_ = {"/usr/bin/unshare", "-m", "/bin/sh", "-c",
               "mount -t tmpfs -o size=64k qvfull \"$QV_FULL\" || exit 77; "
               "cp \"$QV_FULL/../earlier\" \"$QV_FULL/record\"; "
               "head -c 1000000 /dev/zero > \"$QV_FULL/fill\" 2>/dev/null; "
               "\"$0\" \"$@\"; s=$?; cp \"$QV_FULL/record\" \"$QV_FULL/../record.after\"; exit $s"};
  const int status = Flash({"flash", PackagePath(), "--record", (full / "record").string()},
                           {"QV_FULL=" + full.string()});
  launcher_.clear();
  if (status == 77) GTEST_SKIP() << "no tmpfs mount here";
  EXPECT_EQ(status, 1);
  EXPECT_NE(stderr_.find("Cannot write the record\n  short write (disk full?)"), std::string::npos)
      << stderr_;
  EXPECT_EQ(test::ReadTextFile(dir_ / "record.after"), earlier);
  test::ExpectFlashHoldsPackage(Flash(1), package_);
}

}  // namespace
}  // namespace qv
