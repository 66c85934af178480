#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "cli/cli_dialogs.h"
#include "cli/cli_unit_record.h"
#include "cli/station_abort.h"
#include "cli/station_display.h"
#include "device/report_trace.h"
#include "package/package_store.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "update/update_run.h"

namespace qv::cli {

// Named mutexes of which this process already holds some for the whole session: those are
// granted to every link of the session at once; the others are the system's.
class SessionMutexes final : public NamedMutexSystem {
 public:
  SessionMutexes(NamedMutexSystem& system, std::set<std::string> held_by_session)
      : system_(system), held_(std::move(held_by_session)) {}
  [[nodiscard]] NamedMutexResult Create(const std::string& name) override;

 private:
  NamedMutexSystem& system_;
  const std::set<std::string> held_;
};

// What every unit of a session shares.
struct StationShared {
  StationDisplay& display;
  HidBus& bus;
  NamedMutexSystem& mutexes;
  const PackageStore& package;
  AnswerPolicy policy = AnswerPolicy::kAsk;
  bool continuous = false;
  std::shared_ptr<ReportTraceSink> trace;  // null without --trace
  RecordFile* record = nullptr;            // null without --record
  UnitRecord record_template;              // the session's and the package's fields
  std::mutex record_mutex;
  std::mutex question_mutex;
};

// Which device, and which run of which unit.
struct UnitTask {
  HidInterfaceInfo device;
  std::string label;
  int row = 0;
  uint32_t unit = 0;
  uint32_t attempt = 1;
};

struct UnitOutcome {
  RunResult run = RunResult::kFailed;
  std::string result;  // updated, failed, declined, interrupted
  std::string message;
  uint64_t duration_ms = 0;
  ReportCounts reports;
  std::string record_error;  // why the record line could not be written, when it could not
};

// One run on one device, on a thread of its own, with its own link, its own copy of the
// package and its own abort switch: a device that fails or is pulled out touches no other.
class StationUnit {
 public:
  StationUnit(StationShared& shared, UnitTask task);
  ~StationUnit();
  StationUnit(const StationUnit&) = delete;
  StationUnit& operator=(const StationUnit&) = delete;

  [[nodiscard]] bool finished() const { return finished_.load(); }
  // Ends the run at once along its failure path; it is recorded as interrupted.
  void Abort() { abort_.Throw(); }
  // Waits for the thread; the outcome once it has ended.
  [[nodiscard]] const UnitOutcome& Join();
  [[nodiscard]] const UnitTask& task() const { return task_; }

 private:
  void Run();
  void WriteRecord(const UnitRecord& record);

  StationShared& shared_;
  UnitTask task_;
  AbortSwitch abort_;
  UnitOutcome outcome_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// A copy of a loaded package, so that each device's run checks and reads its own.
[[nodiscard]] std::unique_ptr<PackageStore> CopyPackage(const PackageStore& package);

}  // namespace qv::cli
