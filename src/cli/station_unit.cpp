#include "cli/station_unit.h"

#include <chrono>
#include <cstring>
#include <span>
#include <utility>

#include "device/hid_link.h"
#include "platform/clock.h"
#include "platform/hex_text.h"
#include "platform/random.h"
#include "update/update_texts.h"

namespace qv::cli {
namespace {

class SessionHeldHandle final : public NamedMutexHandle {};

int64_t NowEpochMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The run's progress, shown on the device's line.
class UnitProgress final : public ProgressContext {
 public:
  UnitProgress(StationDisplay& display, int row) : display_(display), row_(row) {}
  void SetStatusText(std::string_view text) override {
    display_.Status(row_, text);
    if (text.rfind(text::kUpdatePrefix, 0) == 0) display_.Remaining(row_, remaining_time_ms);
  }
  void PostProgressMessage() override { display_.Percent(row_, percent.load()); }
  void SetFlashText(std::string_view text) override { display_.FlashText(row_, text); }
  void AreaStarted(std::string_view area) override {
    area_ = area;
    display_.Area(row_, area);
  }
  [[nodiscard]] const std::string& area() const { return area_; }

 private:
  StationDisplay& display_;
  int row_;
  std::string area_;
};

// The run's messages on stderr with the device (and the area being written) as their detail,
// and its questions answered by the session's policy, one device at a time.
class UnitDialogs final : public Dialogs {
 public:
  UnitDialogs(StationShared& shared, const UnitTask& task, const UnitProgress& progress)
      : shared_(shared), task_(task), progress_(progress) {}
  void ShowMessage(std::string_view text) override {
    last_message_ = text;
    shared_.display.Message(text, Detail());
  }
  [[nodiscard]] bool AskYesNo(std::string_view text) override {
    std::lock_guard lock(shared_.question_mutex);
    // With several devices the question names the one it is about, on the same line.
    const std::string question =
        shared_.display.labelled() ? task_.label + ": " + std::string(text) : std::string(text);
    TerminalDialogs terminal(shared_.policy);
    return shared_.display.Ask([&] { return terminal.AskYesNo(question); });
  }
  [[nodiscard]] const std::string& last_message() const { return last_message_; }

 private:
  std::string Detail() const {
    std::string detail;
    if (shared_.display.labelled()) detail = "device " + task_.label;
    if (!progress_.area().empty()) {
      detail += (detail.empty() ? "while writing the " : ", while writing the ") +
                progress_.area() + " area";
    }
    return detail;
  }
  StationShared& shared_;
  const UnitTask& task_;
  const UnitProgress& progress_;
  std::string last_message_;
};

const char* ResultWord(RunResult run, bool aborted) {
  if (aborted) return "interrupted";
  switch (run) {
    case RunResult::kSucceeded:
      return "updated";
    case RunResult::kDeclined:
      return "declined";
    case RunResult::kFailed:
      break;
  }
  return "failed";
}

}  // namespace

NamedMutexResult SessionMutexes::Create(const std::string& name) {
  if (held_.count(name) == 0) return system_.Create(name);
  NamedMutexResult result;
  result.status = NamedMutexStatus::kCreated;
  result.handle = std::make_unique<SessionHeldHandle>();
  return result;
}

std::unique_ptr<PackageStore> CopyPackage(const PackageStore& package) {
  auto copy = std::make_unique<PackageStore>();
  if (package.image) {
    copy->image = std::make_unique<uint8_t[]>(package.image_size);
    std::memcpy(copy->image.get(), package.image.get(), package.image_size);
  }
  if (package.map_buffer) {
    copy->map_buffer = std::make_unique<uint8_t[]>(package.map_buffer_size);
    std::memcpy(copy->map_buffer.get(), package.map_buffer.get(), package.map_buffer_size);
  }
  copy->image_size = package.image_size;
  copy->map_buffer_size = package.map_buffer_size;
  copy->position = package.position;
  copy->data_length = package.data_length;
  copy->header_copy = package.header_copy;
  copy->version_record = package.version_record;
  copy->information_text = package.information_text;
  return copy;
}

StationUnit::StationUnit(StationShared& shared, UnitTask task)
    : shared_(shared), task_(std::move(task)) {
  thread_ = std::thread([this] { Run(); });
}

StationUnit::~StationUnit() {
  if (thread_.joinable()) {
    abort_.Throw();
    thread_.join();
  }
}

const UnitOutcome& StationUnit::Join() {
  if (thread_.joinable()) thread_.join();
  return outcome_;
}

void StationUnit::Run() {
  const int64_t started = NowEpochMs();
  AbortableBus abortable(shared_.bus, abort_);
  TracedHidBus traced(abortable, shared_.trace);
  AbortableClock clock(SystemClock(), abort_);
  HidLink link(traced, shared_.mutexes, clock);
  link.KeepToDevice(DeviceIdentity::Of(task_.device));
  std::unique_ptr<PackageStore> store = CopyPackage(shared_.package);
  UnitProgress progress(shared_.display, task_.row);
  UnitDialogs dialogs(shared_, task_, progress);
  RuntimeRandom random;
  QueryAnswer answer;
  UpdateEnvironment env{link, *store, dialogs, clock, random, shared_.continuous, &answer};

  shared_.display.Percent(task_.row, 0);
  outcome_.run = RunUpdate(env, progress);
  const bool aborted = abort_.thrown();
  outcome_.result = ResultWord(outcome_.run, aborted);
  outcome_.message = dialogs.last_message();
  if (outcome_.run == RunResult::kSucceeded) {
    outcome_.message = text::kSuccess;
    progress.SetStatusText(text::kSuccess);
  } else if (outcome_.run == RunResult::kFailed) {
    if (outcome_.message.empty()) outcome_.message = text::kTryAgain;
    shared_.display.Message(text::kFailure, shared_.display.labelled() ? "device " + task_.label
                                                                       : std::string());
  }
  const int64_t ended = NowEpochMs();
  outcome_.duration_ms = static_cast<uint64_t>(ended - started);
  outcome_.reports = traced.counts();

  UnitRecord record = shared_.record_template;
  record.unit = task_.unit;
  record.attempt = task_.attempt;
  record.start = IsoUtc(started);
  record.end = IsoUtc(ended);
  record.device_path = task_.device.path;
  record.device_port = task_.device.usb_port;
  record.device_serial = task_.device.serial_number;
  if (answer.received) {
    record.version_before = HexBytes(std::span(answer.bytes).first(kVersionRecordSize));
    record.flash_id = FlashIdCharacters(answer.bytes).value_or("");
  }
  record.result = outcome_.result;
  record.message = outcome_.message;
  record.duration_ms = outcome_.duration_ms;
  record.reports_sent = outcome_.reports.sent;
  WriteRecord(record);
  finished_.store(true);
}

void StationUnit::WriteRecord(const UnitRecord& record) {
  if (shared_.record == nullptr) return;
  std::lock_guard lock(shared_.record_mutex);
  if (!shared_.record->Append(UnitRecordLine(record), outcome_.record_error)) {
    shared_.display.Message("Cannot write the record", outcome_.record_error);
  }
}

}  // namespace qv::cli
