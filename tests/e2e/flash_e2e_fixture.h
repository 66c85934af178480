#pragma once

// What the end-to-end tests of qvupdate share: a folder per test with a package, qvupdate run
// against the simulated device (preloaded in front of hidapi on Linux, beside a copy of the
// program as hidapi.dll on Windows), and readers of its record and output.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "flash_check.h"
#include "package_fixture.h"
#include "platform/host.h"
#include "platform/named_mutex.h"
#include "simulated_device_program.h"

namespace qv::test {

namespace fs = std::filesystem;

// The device mutex is machine-wide: while another program of this system (another test, say)
// holds a device, qvupdate would find none. Wait until it is free before starting one.
inline void WaitForFreeDeviceMutex() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (SystemNamedMutexes().Create("QV_UPDATER").status != NamedMutexStatus::kAlreadyExists) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// What qvupdate says, in this order, of a device attached that this user may not open: Linux
// names the udev rule that gives access; Windows has no rule to install.
#ifdef _WIN32
inline const std::vector<const char*> kAccessDeniedAdvice = {
    "The device is attached, but Windows did not let this program open it.",
    "Close any other program that may hold it", "plug it in again."};
#else
inline const std::vector<const char*> kAccessDeniedAdvice = {
    "The device is attached, but this user may not open it (permission denied).",
    "70-qvupdater.rules", "plug it in again."};
#endif

// Whether a held lock's holder is named: Linux finds the process that holds the lock's socket;
// Windows tells no process by a mutex's name.
#ifdef _WIN32
inline constexpr bool kLockHolderNamed = false;
#else
inline constexpr bool kLockHolderNamed = true;
#endif

inline const char* const kSameVersion = "50 31 32 33 00 53 34 35 36 00 4D 37 38 39";

class FlashE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qv_flash_e2e_" + std::to_string(ProcessId()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sim");
    fs::create_directories(dir_ / "bin");
    qvupdate_.emplace(QV_QVUPDATE_PATH, QV_SIM_LIBRARY_PATH, dir_ / "bin");
    package_ = ThreeAreaPackage();
    const std::vector<uint8_t> file = FixtureFile(package_);
    std::ofstream(dir_ / "QVUpdate.Bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), file.size());
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  std::unique_ptr<ChildProcess> Start(std::vector<std::string> args,
                                            std::vector<std::string> env = {}) {
    WaitForFreeDeviceMutex();
    return Launch(std::move(args), std::move(env));
  }
  // Start without waiting for the device mutex.
  std::unique_ptr<ChildProcess> Launch(std::vector<std::string> args,
                                             std::vector<std::string> env) {
    args.insert(args.begin(), qvupdate_->program().string());
    args.insert(args.begin(), launcher_.begin(), launcher_.end());
    env.insert(env.end(), qvupdate_->environment().begin(), qvupdate_->environment().end());
    env.push_back("QVSIM_DIR=" + (dir_ / "sim").string());
    return std::make_unique<ChildProcess>(args, env, dir_);
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
    return ReadBinaryFile(dir_ / "sim" / ("dev" + std::to_string(device) + ".flash"));
  }
  [[nodiscard]] std::string Events(int device) const {
    return ReadTextFile(dir_ / "sim" / ("dev" + std::to_string(device) + ".events"));
  }

  fs::path dir_;
  std::optional<SimulatedDeviceProgram> qvupdate_;
  std::vector<std::string> launcher_;  // runs the program, when set
  FixturePackage package_;
  std::string stdout_, stderr_;
};

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
inline std::vector<nlohmann::json> RecordLines(const fs::path& path) {
  std::istringstream text(ReadTextFile(path));
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(text, line);) {
    const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    EXPECT_TRUE(parsed.is_object()) << "broken record line: " << line;
    if (parsed.is_object()) lines.push_back(parsed);
  }
  return lines;
}

inline size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace qv::test
