#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "device/attached_devices.h"
#include "device/report_trace.h"
#include "package/package_store.h"
#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "station/question_board.h"
#include "station/queued_observer.h"
#include "station/station_events.h"
#include "station/unit_record.h"
#include "station/unit_run.h"
#include "update/device_poll.h"

namespace qv::station {

// What a station does.
struct StationConfig {
  bool all = false;         // every attached device at once
  bool continuous = false;  // device after device until a stop or the count
  uint64_t count = 0;       // with continuous: start no unit past this many (0: no limit)
  std::string device;       // path, serial number or USB port: this device instead of the first
  bool wait = false;        // wait while another updater process holds the devices
  uint32_t max_failed_runs = DevicePoll::kCommandLineMaxFailedRuns;
};

// What a station works with; everything that reaches outside the process is here, so tests
// hand in the simulated bus, a fake clock and mutexes of their own.
struct StationEnvironment {
  HidBus& bus;
  NamedMutexSystem& mutexes;
  Clock& clock;
  // Stop requests, counted (a signal handler may add to it): the first stops starting
  // devices, the second aborts those in progress.
  const std::atomic<uint32_t>& stops;
  std::shared_ptr<ReportTraceSink> trace;  // null: no trace
  RecordSink* record = nullptr;            // null: no record
  UnitRecord record_template;              // the session's and the package's fields
  // Milliseconds since the epoch for the record's timestamps (the system's clock by default).
  std::function<int64_t()> wall_clock_ms = {};
};

// Exit statuses of a station.
inline constexpr int kStationAllUpdated = 0;
inline constexpr int kStationNotAllUpdated = 1;
inline constexpr int kStationAborted = 130;

// The production station: which device runs when, each run on its own thread, the units and
// their retries, the stops and the summary. It owns no terminal: what happens goes to the
// observer, and questions are answered through Answer.
class Station {
 public:
  // How often the station looks at stops and finished runs while it waits.
  static constexpr uint32_t kTickMs = 20;

  Station(const StationConfig& config, StationEnvironment env, const PackageStore& package,
          StationObserver& observer);
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // Runs the station to its end on the calling thread; the exit status: 0 when every unit
  // ended updated, 130 after an abort, 1 otherwise (a unit not updated, no device, the record
  // could not be written).
  [[nodiscard]] int Run();

  // Answers a question of a run, from any thread. False when it is no longer open.
  bool Answer(uint64_t question, bool yes) { return questions_.Answer(question, yes); }
  [[nodiscard]] bool QuestionOpen(uint64_t question) const { return questions_.IsOpen(question); }

 private:
  // One device as the station knows it across its runs.
  struct Slot {
    HidInterfaceInfo device;
    std::string label;
    int id = -1;
    DevicePoll poll;
    uint64_t unit = 0;  // 0: the next run starts a new unit
    uint32_t attempts = 0;
    bool last_failed = false;
    uint32_t missed = 0;
    std::unique_ptr<UnitRun> running;
  };

  bool HoldSessionLocks();
  [[nodiscard]] std::vector<HidInterfaceInfo> Attached();
  [[nodiscard]] std::vector<AttachedDevice> AttachedDevices();
  [[nodiscard]] DeviceIdentity IdentityFor(const HidInterfaceInfo& entry) const;
  bool LeaveIndistinctAlone(std::vector<AttachedDevice>& devices);
  void ReportListing(bool listed);
  Slot& SlotFor(const HidInterfaceInfo& info);
  [[nodiscard]] bool AnyRunning() const;
  [[nodiscard]] bool NewUnitAllowed() const;
  [[nodiscard]] bool RetryPending() const;
  [[nodiscard]] bool MayOpen(Slot& slot);
  void StartRun(Slot& slot);
  void CollectFinished();
  void Book(Slot& slot, const UnitTask& task, const UnitOutcome& outcome);
  bool Stopping();
  void WaitForRuns();
  [[nodiscard]] bool DeviceAvailable(const std::vector<AttachedDevice>& devices);
  bool WaitWhileTakenElsewhere(std::vector<HidInterfaceInfo>& attached);
  int RunOnce();
  int RunContinuous();
  bool Poll();
  void Forget(std::map<std::string, Slot>::iterator& it);
  [[nodiscard]] int ExitStatus(const RecordSummary& summary) const;
  [[nodiscard]] RecordSummary Summarise() const;

  const StationConfig config_;
  StationEnvironment env_;
  const PackageStore& package_;
  // Every event goes through the queue: no device's thread waits on the front end's output.
  QueuedObserver observer_;
  QuestionBoard questions_;
  std::vector<std::unique_ptr<NamedMutexHandle>> session_locks_;
  std::unique_ptr<SessionMutexes> session_mutexes_;
  std::unique_ptr<StationShared> shared_;
  std::map<std::string, Slot> slots_;
  std::vector<UnitRecord> records_;  // every run of this session, as recorded
  int next_slot_id_ = 0;
  uint64_t units_started_ = 0;
  bool acknowledged_ = false;
  bool aborted_ = false;
  bool interrupted_ = false;
  bool record_failed_ = false;
  bool refused_ = false;           // devices nothing tells apart were left alone
  bool list_unreadable_ = false;  // the last enumeration failed (said once)
  std::set<std::string> told_indistinct_;  // their identities, told once while attached
};

// A device as people read it at a station: its USB port (and serial number), else its serial
// number.
[[nodiscard]] std::string DeviceLabel(const HidInterfaceInfo& device);

}  // namespace qv::station
