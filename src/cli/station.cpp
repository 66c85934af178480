#include "cli/station.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "cli/cli_dialogs.h"
#include "cli/cli_discovery_miss.h"
#include "cli/cli_sha256.h"
#include "cli/cli_unit_record.h"
#include "cli/station_display.h"
#include "cli/station_unit.h"
#include "device/hid_link.h"
#include "device/run_lock.h"
#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/hex_text.h"
#include "platform/random.h"
#include "program_version.h"
#include "update/device_poll.h"
#include "update/update_texts.h"

namespace qv::cli {
namespace {

constexpr const char* kStoppingNotice = "stopping after this device; Ctrl-C again to abort it";
// How often the session looks at signals and finished devices while it waits.
constexpr uint32_t kTickMs = 20;

volatile std::sig_atomic_t g_signals = 0;

void OnSignal(int) {
  if (g_signals < 2) g_signals = g_signals + 1;
}

void CatchSignals() {
  g_signals = 0;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

AnswerPolicy PolicyFrom(const std::string& name) {
  if (name == "yes") return AnswerPolicy::kYes;
  if (name == "no") return AnswerPolicy::kNo;
  return AnswerPolicy::kAsk;
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// One device as the session knows it across its runs: its poll state, its display line and
// the unit it belongs to.
struct Slot {
  HidInterfaceInfo device;
  std::string label;
  int row = -1;
  DevicePoll poll{DevicePoll::Rules{DevicePoll::kCommandLineMaxFailedRuns},
                  DevicePoll::Counters{0, 0, false}};
  uint32_t unit = 0;  // 0: the next run starts a new unit
  uint32_t attempts = 0;
  bool last_failed = false;
  uint32_t missed = 0;
  std::unique_ptr<StationUnit> running;
};

struct UnitSummary {
  std::string label;
  std::string result;
  uint64_t duration_ms = 0;
  uint32_t retries = 0;
};

class Station {
 public:
  explicit Station(const StationOptions& options)
      : options_(options),
        display_(options.json ? DisplayMode::kJson
                              : (::isatty(::fileno(stdout)) ? DisplayMode::kLive
                                                            : DisplayMode::kPlain),
                 options.quiet, options.verbose, options.all) {}

  int Run() {
    if (!LoadThePackage() || !OpenOutputs()) return 1;
    CatchSignals();
    if (!HoldSessionLocks()) return 1;
    StationShared shared{.display = display_,
                         .bus = SystemHidBus(),
                         .mutexes = *session_mutexes_,
                         .package = store_,
                         .policy = PolicyFrom(options_.reinstall),
                         .continuous = options_.continuous,
                         .trace = trace_,
                         .record = nullptr,
                         .record_template = {},
                         .record_mutex = {},
                         .question_mutex = {}};
    shared.record = record_.is_open() ? &record_ : nullptr;
    shared.record_template = record_template_;
    shared_ = &shared;
    const int status = options_.continuous ? RunContinuous() : RunOnce();
    shared_ = nullptr;
    store_.Release();
    return status;
  }

 private:
  bool LoadThePackage() {
    // The loader's messages carry the system's reason on a line of their own.
    struct LoadDialogs final : Dialogs {
      explicit LoadDialogs(StationDisplay& d) : display(d) {}
      void ShowMessage(std::string_view text) override { display.Message(text, ""); }
      bool AskYesNo(std::string_view) override { return false; }  // loading asks nothing
      StationDisplay& display;
    };
    const std::filesystem::path package(options_.package);
    LoadDialogs dialogs(display_);
    RuntimeRandom random;
    const PackagePaths paths{package, package.parent_path() / kReadmeFileName};
    if (!LoadPackage(store_, paths, dialogs, random, SystemClock())) return false;
    record_template_.session = HostName() + "-" + std::to_string(::getpid()) + "-" +
                               IsoUtc(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
    record_template_.station = HostName();
    record_template_.updater = kProgramVersion;
    record_template_.package_file = package.filename().string();
    record_template_.package_sha256 = FileSha256(package);
    record_template_.package_version =
        HexBytes(std::span(store_.version_record).first(kVersionRecordSize));
    return true;
  }

  bool OpenOutputs() {
    std::string error;
    if (!options_.record.empty() && !record_.Open(options_.record, error)) {
      display_.Message("Cannot open the record file", options_.record + ": " + error);
      return false;
    }
    if (!options_.trace.empty()) {
      std::FILE* file = std::fopen(options_.trace.c_str(), "w");
      if (file == nullptr) {
        display_.Message("Cannot open the trace file", options_.trace + ": " + std::strerror(errno));
        return false;
      }
      trace_ = std::make_shared<ReportTraceSink>(file);
    }
    return true;
  }

  // The run lock for the whole session, so that no other updater process takes a device
  // between this session's runs or while one resets; with --all also the device mutex, which
  // the session's links then share.
  bool HoldSessionLocks() {
    std::set<std::string> held{kRunMutexName};
    if (options_.all) held.insert(kDeviceMutexName);
    for (;;) {
      std::string busy;
      for (const std::string& name : held) {
        NamedMutexResult result = SystemNamedMutexes().Create(name);
        if (result.status == NamedMutexStatus::kAlreadyExists) {
          busy = name;
          break;
        }
        if (result.handle) session_locks_.push_back(std::move(result.handle));
      }
      if (busy.empty()) break;
      session_locks_.clear();
      if (!options_.continuous || g_signals != 0) {
        display_.Message(kDeviceBusyText, "");
        return false;
      }
      if (!announced_busy_) {
        display_.Notice("Another updater process is using the devices; waiting for it to end.");
        announced_busy_ = true;
      }
      SystemClock().SleepMs(DevicePoll::kPollIntervalMs);
    }
    session_mutexes_ = std::make_unique<SessionMutexes>(SystemNamedMutexes(), held);
    return true;
  }

  // The attached devices this session may take, in enumeration order.
  std::vector<HidInterfaceInfo> Attached() {
    std::vector<HidInterfaceInfo> found;
    if (!SystemHidBus().Enumerate(kDeviceVendorId, kDeviceProductId, found)) return {};
    if (options_.device.empty()) return found;
    std::vector<HidInterfaceInfo> wanted;
    for (const HidInterfaceInfo& info : found) {
      if (info.path == options_.device || info.serial_number == options_.device ||
          info.usb_port == options_.device) {
        wanted.push_back(info);
      }
    }
    return wanted;
  }

  Slot& SlotFor(const HidInterfaceInfo& info) {
    const DeviceIdentity identity = DeviceIdentity::Of(info);
    const std::string key = identity.Text();
    Slot& slot = slots_[key];
    slot.device = info;  // the path may have changed since
    if (slot.row < 0) {
      slot.label = options_.all && identity.Known() ? key : info.path;
      slot.row = display_.AddDevice(slot.label);
    }
    return slot;
  }

  [[nodiscard]] bool AnyRunning() const {
    for (const auto& [key, slot] : slots_) {
      if (slot.running) return true;
    }
    return false;
  }

  void StartUnit(Slot& slot) {
    if (slot.unit == 0 || !slot.last_failed) {
      slot.unit = ++units_started_;
      slot.attempts = 0;
    }
    ++slot.attempts;
    UnitTask task{slot.device, slot.label, slot.row, slot.unit, slot.attempts};
    display_.Event({{"event", "device"},
                    {"device", slot.label},
                    {"path", slot.device.path},
                    {"port", slot.device.usb_port},
                    {"serial", slot.device.serial_number},
                    {"unit", slot.unit},
                    {"attempt", slot.attempts}});
    slot.running = std::make_unique<StationUnit>(*shared_, std::move(task));
  }

  // Joins every finished run and books its outcome. True when a run ended declined in single
  // mode, which ends the session.
  void CollectFinished() {
    for (auto& [key, slot] : slots_) {
      if (!slot.running || !slot.running->finished()) continue;
      const UnitOutcome outcome = slot.running->Join();
      const UnitTask task = slot.running->task();
      slot.running.reset();
      Book(slot, task, outcome);
    }
  }

  void Book(Slot& slot, const UnitTask& task, const UnitOutcome& outcome) {
    const bool succeeded = outcome.run == RunResult::kSucceeded;
    // A declined unit is handled: it is left alone until it is unplugged, like an updated one.
    slot.poll.RunFinished(succeeded || outcome.run == RunResult::kDeclined);
    slot.last_failed = !succeeded && outcome.run != RunResult::kDeclined;
    if (outcome.result == "interrupted") interrupted_ = true;
    if (outcome.run == RunResult::kDeclined) declined_any_ = true;
    UnitSummary& unit = units_[task.unit];
    unit.label = task.label;
    unit.result = outcome.result;
    unit.duration_ms += outcome.duration_ms;
    unit.retries = task.attempt - 1;
    nlohmann::json event = {{"event", "result"},       {"device", task.label},
                            {"unit", task.unit},       {"attempt", task.attempt},
                            {"result", outcome.result}, {"message", outcome.message},
                            {"duration_ms", outcome.duration_ms},
                            {"reports_sent", outcome.reports.sent}};
    display_.Event(event);
    if (options_.quiet) {
      display_.ResultLine(task.label + ": " + outcome.result +
                          (succeeded ? std::string() : ": " + outcome.message));
    }
    if (options_.verbose) {
      display_.ResultLine(task.label + ": reports sent " + std::to_string(outcome.reports.sent) +
                          ", received " + std::to_string(outcome.reports.received) +
                          ", failed " + std::to_string(outcome.reports.failed));
    }
    if (options_.continuous && !outcome.record_error.empty()) record_failed_ = true;
    if (options_.continuous && slot.poll.GaveUp()) {
      display_.Notice("The device " + task.label + " failed " +
                      std::to_string(DevicePoll::kCommandLineMaxFailedRuns) +
                      " times in a row; unplug it to go on.");
    }
  }

  // Looks at the signals: the first asks to stop after the devices in progress, the second
  // aborts them. True once the session should stop starting devices.
  bool Stopping() {
    const int signals = g_signals;
    if (signals >= 1 && !acknowledged_) {
      acknowledged_ = true;
      if (AnyRunning()) display_.Notice(kStoppingNotice);
    }
    if (signals >= 2 && !aborted_) {
      aborted_ = true;
      for (auto& [key, slot] : slots_) {
        if (slot.running) slot.running->Abort();
      }
    }
    return signals >= 1;
  }

  void WaitForRuns() {
    while (AnyRunning()) {
      Stopping();
      CollectFinished();
      if (AnyRunning()) SystemClock().SleepMs(kTickMs);
    }
  }

  // Whether discovery can take a device now, saying why not when it cannot: none attached,
  // one held by another updater process, or one this user may not open.
  bool DeviceAvailable(const std::vector<HidInterfaceInfo>& attached) {
    struct MessageDialogs final : Dialogs {
      explicit MessageDialogs(StationDisplay& d) : display(d) {}
      void ShowMessage(std::string_view text) override { display.Message(text, ""); }
      bool AskYesNo(std::string_view) override { return false; }
      StationDisplay& display;
    } dialogs(display_);
    DiscoveryMiss miss = DiscoveryMiss::kNoDevice;
    if (!attached.empty()) {
      HidLink probe(SystemHidBus(), *session_mutexes_, SystemClock());
      probe.KeepToDevice(DeviceIdentity::Of(attached.front()));
      const bool taken = probe.Discover() != 0;
      if (probe.LastFoundIndistinct()) {
        dialogs.ShowMessage(kIndistinctDevicesText);
        return false;
      }
      if (taken) return true;
      miss = probe.LastMiss();
    }
    ReportDiscoveryMiss(miss, dialogs, stderr);
    return false;
  }

  int RunOnce() {
    std::vector<HidInterfaceInfo> attached = Attached();
    if (!DeviceAvailable(attached)) return 1;
    if (!options_.all) attached.resize(1);
    for (const HidInterfaceInfo& info : attached) StartUnit(SlotFor(info));
    WaitForRuns();
    if (options_.all || interrupted_) PrintSummary();
    return ExitStatus();
  }

  [[nodiscard]] bool CountReached() const {
    return options_.count != 0 && units_started_ >= options_.count;
  }

  [[nodiscard]] bool Capacity() const { return options_.all || !AnyRunning(); }

  int RunContinuous() {
    // Devices attached at the start are taken at once, as the wizard's Start does; later ones
    // by the poll rules.
    for (const HidInterfaceInfo& info : Attached()) {
      if (!Capacity() || CountReached()) break;
      Slot& slot = SlotFor(info);
      slot.poll = DevicePoll(DevicePoll::Rules{DevicePoll::kCommandLineMaxFailedRuns});
      StartUnit(slot);
    }
    bool prompted = AnyRunning() ? false : true;
    if (!AnyRunning()) display_.Line("Waiting for a device ...");
    uint32_t since_poll = 0;
    while (!Stopping()) {
      CollectFinished();
      if (!AnyRunning() && !prompted) {
        display_.Line(text::kNextDevicePrompt);
        prompted = true;
      }
      if (CountReached() && !AnyRunning()) break;
      SystemClock().SleepMs(kTickMs);
      since_poll += kTickMs;
      if (since_poll < DevicePoll::kPollIntervalMs) continue;
      since_poll = 0;
      if (Poll()) prompted = false;
    }
    WaitForRuns();
    PrintSummary();
    return ExitStatus();
  }

  // One poll of every device's rules. True when a run was started.
  bool Poll() {
    std::map<std::string, bool> seen;
    bool started = false;
    for (const HidInterfaceInfo& info : Attached()) {
      Slot& slot = SlotFor(info);
      seen[DeviceIdentity::Of(info).Text()] = true;
      if (slot.running) continue;  // a run in progress: its device comes and goes
      slot.missed = 0;
      const DevicePoll::Action action = slot.poll.OnPoll(true);
      if (action == DevicePoll::Action::kStartRun && Capacity() && !CountReached()) {
        StartUnit(slot);
        started = true;
      }
    }
    for (auto it = slots_.begin(); it != slots_.end();) {
      Slot& slot = it->second;
      if (slot.running || seen.count(it->first) != 0) {
        ++it;
        continue;
      }
      (void)slot.poll.OnPoll(false);
      if (++slot.missed >= DevicePoll::kMissesToForget) {
        // Gone for good: its next appearance is a new unit, on a new line.
        display_.RemoveDevice(slot.row);
        it = slots_.erase(it);
        continue;
      }
      ++it;
    }
    return started;
  }

  [[nodiscard]] int ExitStatus() const {
    if (aborted_) return 130;
    if (units_.empty()) return options_.continuous ? 0 : 1;
    for (const auto& [number, unit] : units_) {
      if (unit.result != "updated") return 1;
    }
    return 0;
  }

  void PrintSummary() {
    uint32_t updated = 0;
    uint32_t retries = 0;
    for (const auto& [number, unit] : units_) {
      updated += unit.result == "updated";
      retries += unit.retries;
    }
    const auto failed = static_cast<uint32_t>(units_.size()) - updated;
    display_.Event({{"event", "summary"},
                    {"units", units_.size()},
                    {"updated", updated},
                    {"failed", failed},
                    {"retries", retries},
                    {"interrupted", aborted_}});
    std::string text = "Devices updated: " + std::to_string(updated) +
                       "\nDevices failed: " + std::to_string(failed);
    for (const auto& [number, unit] : units_) {
      char line[160];
      std::snprintf(line, sizeof line, "\nDevice %u: %s, %.1f s", number, unit.result.c_str(),
                    unit.duration_ms / 1000.0);
      text += line;
      if (options_.all) text += " (" + unit.label + ")";
      if (unit.retries != 0) text += ", " + std::to_string(unit.retries) + " retry";
    }
    text += "\nRetries: " + std::to_string(retries);
    display_.Settle();
    display_.ResultLine(text);
  }

  const StationOptions& options_;
  StationDisplay display_;
  PackageStore store_;
  RecordFile record_;
  std::shared_ptr<ReportTraceSink> trace_;
  UnitRecord record_template_;
  std::vector<std::unique_ptr<NamedMutexHandle>> session_locks_;
  std::unique_ptr<SessionMutexes> session_mutexes_;
  StationShared* shared_ = nullptr;
  std::map<std::string, Slot> slots_;
  std::map<uint32_t, UnitSummary> units_;
  uint32_t units_started_ = 0;
  bool acknowledged_ = false;
  bool aborted_ = false;
  bool interrupted_ = false;
  bool declined_any_ = false;
  bool record_failed_ = false;
  bool announced_busy_ = false;
};

}  // namespace

int RunStation(const StationOptions& options) {
  Station station(options);
  return station.Run();
}

}  // namespace qv::cli
