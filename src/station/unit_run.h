#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "device/device_identity.h"
#include "device/report_trace.h"
#include "package/package_store.h"
#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "station/abort_switch.h"
#include "station/question_board.h"
#include "station/station_events.h"
#include "station/unit_record.h"
#include "update/update_run.h"

namespace qv::station {

// Named mutexes of which this process already holds some for the whole session: those are
// granted to every link of the session at once; the others are the system's.
class SessionMutexes final : public NamedMutexSystem {
 public:
  SessionMutexes(NamedMutexSystem& system, std::set<std::string> held_by_session)
      : system_(system), held_(std::move(held_by_session)) {}
  [[nodiscard]] NamedMutexResult Create(const std::string& name) override;
  [[nodiscard]] std::optional<LockHolder> Holder(const std::string& name) override {
    return system_.Holder(name);
  }

 private:
  NamedMutexSystem& system_;
  const std::set<std::string> held_;
};

// What every run of a session shares. The package is loaded once and only read from then on.
struct StationShared {
  StationObserver& observer;
  QuestionBoard& questions;
  HidBus& bus;
  NamedMutexSystem& mutexes;
  Clock& clock;
  std::function<int64_t()> wall_clock_ms;  // the record's timestamps
  const PackageStore& package;
  bool continuous = false;
  // Several units: each unit's end is drawn as a line of its own that carries its message and
  // area, so a run's messages are not said apart as well.
  bool unit_lines = false;
  std::shared_ptr<ReportTraceSink> trace;  // null without a trace
  RecordSink* record = nullptr;            // null without a record
  UnitRecord record_template;              // the session's and the package's fields
  std::mutex record_mutex;
};

// Which device, and which run of which unit.
struct UnitTask {
  HidInterfaceInfo device;  // the entry the unit started from
  DeviceIdentity identity;  // what the run keeps to, across the reset
  std::string label;
  int slot = 0;
  uint64_t unit = 0;
  uint32_t attempt = 1;
};

struct UnitOutcome {
  UnitRecord record;          // the run as recorded (also when no record is kept)
  ReportCounts reports;
  std::string record_error;   // why the record line could not be written, when it could not
  std::string area;           // the area being written when a run that did not
                              // get to its end stopped; empty otherwise
};

// One run on one device, on a thread of its own (which never takes the stop signals), with its
// own link and its own abort switch: a device that fails or is pulled out touches no other.
class UnitRun {
 public:
  UnitRun(StationShared& shared, UnitTask task);
  ~UnitRun();
  UnitRun(const UnitRun&) = delete;
  UnitRun& operator=(const UnitRun&) = delete;

  [[nodiscard]] bool finished() const { return finished_.load(); }
  // Ends the run at once along its failure path (a question it waits on is answered No); it
  // is recorded as interrupted.
  void Abort();
  // Waits for the thread; the outcome once it has ended.
  [[nodiscard]] const UnitOutcome& Join();
  [[nodiscard]] const UnitTask& task() const { return task_; }

 private:
  void Run();
  void WriteRecord();

  StationShared& shared_;
  UnitTask task_;
  AbortSwitch abort_;
  UnitOutcome outcome_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace qv::station
