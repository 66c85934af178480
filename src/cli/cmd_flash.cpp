// qvupdate flash: loads a package as the wizard does and updates the attached device; with
// --continuous it then waits for the next device and updates device after device.

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_dialogs.h"
#include "cli/cli_discovery_miss.h"
#include "cli/cli_progress_bar.h"
#include "cli/commands.h"
#include "device/hid_link.h"
#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "update/device_poll.h"
#include "update/update_run.h"
#include "update/update_texts.h"

namespace qv::cli {
namespace {

struct FlashOptions {
  std::string package = kPackageFileName;
  bool continuous = false;
  uint32_t count = 0;  // 0: until Ctrl-C
  std::string reinstall = "ask";
};

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
  g_interrupted = 1;
}

// The first Ctrl-C asks to stop after the current device; the handler then resets itself, so a
// second Ctrl-C ends the program at once.
void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

AnswerPolicy PolicyFrom(const std::string& name) {
  if (name == "yes") return AnswerPolicy::kYes;
  if (name == "no") return AnswerPolicy::kNo;
  return AnswerPolicy::kAsk;
}

struct DeviceRecord {
  RunResult result = RunResult::kFailed;
  uint32_t elapsed_ms = 0;
};

// Everything a flash session works with.
class FlashSession {
 public:
  explicit FlashSession(const FlashOptions& options)
      : options_(options),
        terminal_(PolicyFrom(options.reinstall)),
        dialogs_(terminal_, progress_),
        link_(SystemHidBus(), SystemNamedMutexes(), SystemClock()) {}

  int Run() {
    const std::filesystem::path package(options_.package);
    const PackagePaths paths{package, package.parent_path() / kReadmeFileName};
    if (!LoadPackage(store_, paths, dialogs_, random_, SystemClock())) return 1;
    const int status = options_.continuous ? RunContinuous() : RunOnce();
    link_.Release();
    store_.Release();
    return status;
  }

 private:
  bool TakeFirstDevice() {
    if (link_.Discover() != 0) return true;
    ReportDiscoveryMiss(link_.LastMiss(), dialogs_, stderr);
    return false;
  }

  int RunOnce() {
    if (!TakeFirstDevice()) return 1;
    return UpdateDevice().result == RunResult::kSucceeded ? 0 : 1;
  }

  // One run on the device that is attached, with its outcome line.
  DeviceRecord UpdateDevice() {
    progress_.Reset();
    Clock& clock = SystemClock();
    const uint32_t started = clock.TickMs();
    UpdateEnvironment env{link_, store_, dialogs_, clock, random_, options_.continuous};
    DeviceRecord record;
    record.result = RunUpdate(env, progress_);
    record.elapsed_ms = clock.TickMs() - started;
    if (record.result == RunResult::kSucceeded) {
      progress_.SetStatusText(text::kSuccess);
      progress_.EndLine();
    } else if (record.result == RunResult::kFailed) {
      progress_.EndLine();
      std::fprintf(stderr, "%s\n", text::kFailure);
    }
    records_.push_back(record);
    return record;
  }

  int RunContinuous() {
    CatchInterrupt();
    if (!TakeFirstDevice()) return 1;
    DevicePoll poll(DevicePoll::Rules{DevicePoll::kCommandLineMaxFailedRuns});
    bool declined = false;
    bool run_next = true;
    while (!declined && !g_interrupted) {
      if (run_next) {
        const DeviceRecord record = UpdateDevice();
        declined = record.result == RunResult::kDeclined;
        poll.RunFinished(record.result == RunResult::kSucceeded);
        if (declined || Done()) break;
        AnnounceWaiting(poll);
      }
      SystemClock().SleepMs(DevicePoll::kPollIntervalMs);
      if (g_interrupted) break;
      const DevicePoll::Action action = poll.OnPoll(link_.Discover() != 0);
      if (action == DevicePoll::Action::kRelease) link_.Release();
      run_next = action == DevicePoll::Action::kStartRun;
    }
    PrintSummary();
    return declined || Failures() != 0 ? 1 : 0;
  }

  [[nodiscard]] bool Done() const {
    return options_.count != 0 && records_.size() >= options_.count;
  }

  void AnnounceWaiting(const DevicePoll& poll) {
    if (poll.GaveUp()) {
      std::fprintf(stderr, "The device failed %u times in a row; unplug it to go on.\n",
                   DevicePoll::kCommandLineMaxFailedRuns);
    }
    std::printf("%s\n", text::kNextDevicePrompt);
    std::fflush(stdout);
  }

  [[nodiscard]] size_t Failures() const {
    size_t failures = 0;
    for (const DeviceRecord& record : records_) failures += record.result != RunResult::kSucceeded;
    return failures;
  }

  void PrintSummary() {
    progress_.EndLine();
    std::printf("Devices updated: %zu\nDevices failed: %zu\n", records_.size() - Failures(),
                Failures());
    for (size_t i = 0; i < records_.size(); ++i) {
      const DeviceRecord& record = records_[i];
      std::printf("Device %zu: %s, %.1f s\n", i + 1,
                  record.result == RunResult::kSucceeded ? "updated" : "failed",
                  record.elapsed_ms / 1000.0);
    }
    std::fflush(stdout);
  }

  const FlashOptions& options_;
  TerminalProgress progress_;
  TerminalDialogs terminal_;
  ProgressAwareDialogs dialogs_;
  RuntimeRandom random_;
  PackageStore store_;
  HidLink link_;
  std::vector<DeviceRecord> records_;
};

}  // namespace

void AddFlashCommand(CLI::App& app) {
  auto options = std::make_shared<FlashOptions>();
  CLI::App* flash = app.add_subcommand("flash", "Update the attached device with a package");
  flash->footer(
      "Message texts go to stderr; exit status 0 after a successful update, 1 on any failure\n"
      "or a declined re-install.");
  flash->add_option("package", options->package,
                    "Package file (default: QVUpdate.Bin; readme.txt is read beside it)");
  CLI::Option* continuous = flash->add_flag(
      "--continuous", options->continuous,
      "After each device wait for the next one and update it too (no over command is sent); "
      "Ctrl-C stops after the current device and prints a summary");
  flash->add_option("--count", options->count, "With --continuous: stop after N devices")
      ->needs(continuous)
      ->check(CLI::Range(1u, UINT32_MAX, "a count of at least 1"));
  flash
      ->add_option("--reinstall", options->reinstall,
                   "When the device already runs the package's version: ask (No without a "
                   "terminal), yes or no")
      ->check(CLI::IsMember({"ask", "yes", "no"}));
  flash->callback([options] {
    FlashSession session(*options);
    ExitStatus() = session.Run();
  });
}

}  // namespace qv::cli
