// qvupdate flash end to end, where POSIX has what a test needs: signals sent to the station (Ctrl-C,
// SIGTERM, SIGHUP, SIGQUIT, a reader that goes away), a pseudo-terminal through script(1) and a
// small file system in a private mount.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "flash_e2e_fixture.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::Count;
using test::FlashE2E;
using test::kSameVersion;
using test::RecordLines;
using test::WaitForFreeDeviceMutex;
using test::WaitUntil;

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
  EXPECT_NE(child->Stdout().find("Units: 1\nUpdated: 1\nFailed: 0\n"),
            std::string::npos)
      << child->Stdout();
  test::ExpectFlashHoldsPackage(Flash(1), package_);
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
      EXPECT_NE(out.find("Updated: 1\n"), std::string::npos) << out;
      continue;
    }
    EXPECT_NE(out.find("Interrupted: 1\n  unit 1: serial SIM1, "), std::string::npos) << out;
    // Said once as it happens: on stderr for one device, in the unit's line with several.
    const std::string& live = c.args.empty() ? err : out;
    const char* const stopped = "The update was stopped at the user's request.";
    EXPECT_EQ(Count(out + err, stopped), 1u) << out << err;
    EXPECT_NE(live.find(stopped), std::string::npos) << live;
    EXPECT_NE(live.find(" area"), std::string::npos) << live;
    EXPECT_NE(live.find("; the device must be updated again before use\n"), std::string::npos)
        << live;
    EXPECT_EQ(err.find("usb cable"), std::string::npos) << err;
    EXPECT_EQ(lines[0]["message"], "The update was stopped at the user's request.");
  }
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
      EXPECT_NE(child->Stdout().find("Interrupted: " + std::to_string(c.devices) + "\n  unit 1: "),
                std::string::npos)
          << child->Stdout();
    }
  }
  launcher_.clear();
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
