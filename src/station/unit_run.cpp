#include "station/unit_run.h"

#include <chrono>
#include <span>
#include <utility>

#include "device/hid_link.h"
#include "platform/hex_text.h"
#include "platform/random.h"
#include "platform/console.h"
#include "station/station_texts.h"
#include "station/visible_text.h"
#include "update/update_texts.h"

namespace qv::station {
namespace {

class SessionHeldHandle final : public NamedMutexHandle {};


// The run's progress, passed on as the slot's events.
class UnitProgress final : public ProgressContext {
 public:
  UnitProgress(StationObserver& observer, int slot) : observer_(observer), slot_(slot) {}
  void SetStatusText(std::string_view text) override { observer_.Status(slot_, text); }
  // Comes before the status text that shows it, so that a line drawn for that status shows the
  // new time.
  void RemainingTimeChanged(uint32_t ms) override { observer_.Remaining(slot_, ms); }
  void PostProgressMessage() override { observer_.Percent(slot_, percent.load()); }
  void SetFlashText(std::string_view text) override { observer_.FlashText(slot_, text); }
  void AreaStarted(std::string_view area) override {
    area_ = area;
    observer_.Area(slot_, area);
  }
  [[nodiscard]] const std::string& area() const { return area_; }

 private:
  StationObserver& observer_;
  int slot_;
  std::string area_;
};

// The run's messages, with the area being written as their detail (said apart only where no
// unit line carries them), and its questions put on the session's board.
class UnitDialogs final : public Dialogs {
 public:
  UnitDialogs(StationShared& shared, const UnitTask& task, const UnitProgress& progress,
              const AbortSwitch& abort)
      : shared_(shared), task_(task), progress_(progress), abort_(abort) {}
  void ShowMessage(std::string_view text) override {
    // Once aborted, whatever fails next fails because of the abort, not because of a cable:
    // the abort is told once, by the run, instead.
    if (abort_.thrown()) return;
    if (!shared_.unit_lines) shared_.observer.Message(text, Detail());
  }
  [[nodiscard]] bool AskYesNo(std::string_view text) override {
    return shared_.questions.Ask(shared_.observer, task_.slot, task_.label, std::string(text),
                                 abort_);
  }

 private:
  // Only one device runs when a run's messages are said apart: the detail is the area.
  std::string Detail() const {
    return progress_.area().empty() ? std::string()
                                    : "while writing the " + progress_.area() + " area";
  }
  StationShared& shared_;
  const UnitTask& task_;
  const UnitProgress& progress_;
  const AbortSwitch& abort_;
};

// Which device was stopped, and where: the area being written, or none yet.
std::string AbortDetail(const HidInterfaceInfo& device, const std::string& area) {
  std::string detail = "device " + DeviceName(device) + ", ";
  detail += area.empty() ? std::string("before any area was written")
                         : "while writing the " + area + " area";
  return detail + "; " + station::text::kUpdateAgain;
}

// A run that got to its end updated the device, even when an abort came after its last report.
UnitResult ResultOf(RunResult run, bool aborted) {
  if (aborted && run != RunResult::kSucceeded) return UnitResult::kInterrupted;
  switch (run) {
    case RunResult::kSucceeded:
      return UnitResult::kUpdated;
    case RunResult::kDeclined:
      return UnitResult::kDeclined;
    case RunResult::kFailed:
      break;
  }
  return UnitResult::kFailed;
}

}  // namespace

NamedMutexResult SessionMutexes::Create(const std::string& name) {
  if (held_.count(name) == 0) return system_.Create(name);
  NamedMutexResult result;
  result.status = NamedMutexStatus::kCreated;
  result.handle = std::make_unique<SessionHeldHandle>();
  return result;
}

UnitRun::UnitRun(StationShared& shared, UnitTask task)
    : shared_(shared), task_(std::move(task)) {
  thread_ = StartThreadWithoutStopRequests([this] { Run(); });
}

UnitRun::~UnitRun() {
  if (thread_.joinable()) {
    Abort();
    thread_.join();
  }
}

void UnitRun::Abort() {
  abort_.Throw();
  shared_.questions.Wake();
}

const UnitOutcome& UnitRun::Join() {
  if (thread_.joinable()) thread_.join();
  return outcome_;
}

void UnitRun::Run() {
  // The timestamps come from the wall clock, which may be set back meanwhile; the duration from
  // the station's steady clock, which is not.
  const int64_t started = shared_.wall_clock_ms();
  const uint32_t started_tick = shared_.clock.TickMs();
  AbortableBus abortable(shared_.bus, abort_);
  TracedHidBus traced(abortable, shared_.trace);
  AbortableClock clock(shared_.clock, abort_);
  HidLink link(traced, shared_.mutexes, clock);
  link.KeepToDevice(task_.identity);
  UnitProgress progress(shared_.observer, task_.slot);
  UnitDialogs dialogs(shared_, task_, progress, abort_);
  RuntimeRandom random;
  QueryAnswer answer;
  RunDevices devices;
  std::string failure_message;
  UpdateEnvironment env{link,   shared_.package,  dialogs,  clock,           random,
                        shared_.continuous, &answer, &devices, &failure_message};

  shared_.observer.Percent(task_.slot, 0);
  const RunResult run = RunUpdate(env, progress);
  UnitRecord& record = outcome_.record;
  record = shared_.record_template;
  record.result = ResultOf(run, abort_.thrown());
  record.message = failure_message;
  if (run == RunResult::kSucceeded) {
    record.message = qv::text::kSuccess;
    progress.SetStatusText(qv::text::kSuccess);
  } else if (run == RunResult::kDeclined) {
    // No message box said it: the question was answered No.
    record.message = station::text::kDeclinedSameVersion;
  } else if (abort_.thrown()) {
    record.message = station::text::kStoppedByUser;
    if (!shared_.unit_lines) {
      shared_.observer.Message(station::text::kStoppedByUser,
                               AbortDetail(task_.device, progress.area()));
    }
  } else if (run == RunResult::kFailed) {
    if (record.message.empty()) record.message = qv::text::kTryAgain;
    // The run's last status, as the progress page leaves it; the reason was said by the run.
    progress.SetStatusText(qv::text::kFailure);
    if (devices.first && !answer.received) {
      // The interface taken never answered: a composite device may speak the protocol on
      // another one.
      shared_.observer.Message(station::text::UnansweredInterface(VisibleText(devices.first->path)),
                               "");
    }
  }
  const int64_t ended = shared_.wall_clock_ms();
  const uint32_t duration_ms = shared_.clock.TickMs() - started_tick;  // wraps like the tick
  outcome_.reports = traced.counts();
  // Where a run stopped, for one that did not get to its end.
  if (run != RunResult::kSucceeded) outcome_.area = progress.area();

  record.unit = task_.unit;
  record.attempt = task_.attempt;
  record.start = IsoUtc(started);
  record.end = IsoUtc(ended);
  record.device_path = task_.device.path;
  record.device_port = task_.device.usb_port;
  record.device_serial = task_.device.serial_number;
  if (devices.after_reset && devices.after_reset->serial_number != task_.device.serial_number) {
    record.serial_after_reset = devices.after_reset->serial_number;
  }
  if (answer.received) {
    record.version_before = HexBytes(std::span(answer.bytes).first(kVersionRecordSize));
    record.flash_id = FlashIdCharacters(answer.bytes).value_or("");
  }
  record.duration_ms = duration_ms;
  record.reports_sent = outcome_.reports.sent;
  record.area = outcome_.area;
  WriteRecord();
  finished_.store(true);
}

void UnitRun::WriteRecord() {
  if (shared_.record == nullptr) return;
  std::lock_guard lock(shared_.record_mutex);
  if (const Result<> kept = shared_.record->Append(outcome_.record); !kept) {
    outcome_.record_error =
        kept.failure().message.empty() ? "unknown reason" : kept.failure().message;
  }
}

}  // namespace qv::station
