// The station's scheduler against the in-process simulated bus with a fake clock: which device
// runs when, units and retries, the count, stops, questions, the record and the summary.

#include "station/station.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/command_frame.h"
#include "fake_clock.h"
#include "flash_check.h"
#include "in_process_mutexes.h"
#include "package_fixture.h"
#include "recording_observer.h"
#include "sim/sim_bus.h"
#include "sim/sim_device_model.h"
#include "sim/sim_device_observer.h"
#include "station/station_texts.h"

namespace qv::station {
namespace {

// A record kept in memory that can be made to fail.
class MemoryRecord final : public RecordSink {
 public:
  Result<> Append(const UnitRecord& record) override {
    std::lock_guard lock(mutex_);
    if (fails) return Failure{"No space left on device"};
    records_.push_back(record);
    return {};
  }
  [[nodiscard]] std::vector<UnitRecord> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }
  std::atomic<bool> fails{false};

 private:
  mutable std::mutex mutex_;
  std::vector<UnitRecord> records_;
};

// Everything a station works with, simulated.
struct Rig {
  test::FakeClock clock;
  sim::SimBus bus{clock};
  test::InProcessMutexes mutexes;
  std::atomic<uint32_t> stops{0};
  PackageStore package;
  test::RecordingObserver observer;
  MemoryRecord record;
  std::function<int64_t()> wall_clock_ms;  // the system's when empty
  Station* station = nullptr;

  Rig() { test::LoadFixture(test::ThreeAreaPackage(), package, clock); }
  ~Rig() { package.Release(); }

  void Stop(uint32_t count) {
    uint32_t now = stops.load();
    while (now < count && !stops.compare_exchange_weak(now, count)) {
    }
  }

  int Run(const StationConfig& config) {
    UnitRecord fields;
    fields.session = "test-session";
    fields.package_sha256 = "loaded-bytes";
    StationEnvironment env{.bus = bus,
                           .mutexes = mutexes,
                           .clock = clock,
                           .stops = stops,
                           .trace = nullptr,
                           .record = &record,
                           .record_template = fields,
                           .wall_clock_ms = wall_clock_ms};
    Station s(config, env, package, observer);
    station = &s;
    const int status = s.Run();
    station = nullptr;
    return status;
  }
};

StationConfig Config(bool all, bool continuous, uint64_t count = 0) {
  StationConfig config;
  config.all = all;
  config.continuous = continuous;
  config.count = count;
  return config;
}

sim::SimDeviceConfig SameVersion() {
  sim::SimDeviceConfig config;
  config.version = {'P', '1', '2', '3', 0, 'S', '4', '5', '6', 0, 'M', '7', '8', '9'};
  return config;
}

sim::SimDeviceConfig Silent() {
  sim::SimDeviceConfig config;
  config.stop_answering_reads = true;
  return config;
}

sim::SimDeviceConfig FailsFirstReport() {
  sim::SimDeviceConfig config;
  config.fail_report = 40;  // in the middle of the first run; the retry passes
  return config;
}

sim::SimDeviceConfig Refused() {
  sim::SimDeviceConfig config;
  config.open_refused = true;
  return config;
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

// Runs an action on the run's own thread when the device takes its first erase command.
class OnFirstErase final : public sim::SimDeviceObserver {
 public:
  explicit OnFirstErase(std::function<void()> action) : action_(std::move(action)) {}
  void OnReport(Direction, const uint8_t*, std::size_t) override {}
  void OnEvent(const std::string&) override {}
  void OnCommand(const sim::SimCommand& command) override {
    if (command.opcode != CMD_ERASE || done_) return;
    done_ = true;
    action_();
  }

 private:
  std::function<void()> action_;
  bool done_ = false;
};

// Waits (in real time, at most 10 s) until `done` holds.
bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 1000 && !done(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

struct Counts {
  uint64_t units, updated, failed, declined, interrupted, retries;
};

struct Case {
  const char* name;
  StationConfig config;
  std::vector<sim::SimDeviceConfig> devices;
  // Hooks the case sets on the rig before the station runs.
  std::function<void(Rig&)> script;
  int status;
  std::vector<std::string> runs;  // "unit.attempt result", sorted
  Counts summary;
  uint64_t max_units;  // a station that starts more is stopped (and the case fails)
};

void AnswerNo(Rig& rig) {
  rig.observer.on_question = [&rig](const StationQuestion& q) { rig.station->Answer(q.id, false); };
}

// On the end of each unit its device is pulled out and a fresh one put in.
void ReplaceAfterEachUnit(Rig& rig) {
  rig.observer.on_finished = [&rig](const UnitEnd&) {
    for (const auto& device : rig.bus.Devices()) rig.bus.Unplug(device);
    (void)rig.bus.Plug();
  };
}

TEST(Station, SchedulesUnitsRetriesStopsAndQuestions) {
  const StationConfig single{};
  const StationConfig all = Config(true, false);
  const StationConfig continuous = Config(false, true);
  const Case cases[] = {
      {"one device", single, {{}}, nullptr, kStationAllUpdated, {"1.1 updated"},
       {1, 1, 0, 0, 0, 0}, 1},
      {"every device at once, each its own unit", all, {{}, {}, {}}, nullptr,
       kStationAllUpdated, {"1.1 updated", "2.1 updated", "3.1 updated"}, {3, 3, 0, 0, 0, 0}, 3},
      {"a device that stops answering fails alone", all, {{}, Silent()}, nullptr,
       kStationNotAllUpdated, {"1.1 updated", "2.1 failed"}, {2, 1, 1, 0, 0, 0}, 2},
      {"a declined re-install is declined, not failed", single, {SameVersion()}, AnswerNo,
       kStationNotAllUpdated, {"1.1 declined"}, {1, 0, 0, 1, 0, 0}, 1},
      {"the count gates new units, not the retry of the last one",
       Config(false, true, 1), {FailsFirstReport()}, nullptr,
       kStationAllUpdated, {"1.1 failed", "1.2 updated"}, {1, 1, 0, 0, 0, 1}, 1},
      {"device after device, numbered, until the count",
       Config(false, true, 2), {{}}, ReplaceAfterEachUnit,
       kStationAllUpdated, {"1.1 updated", "2.1 updated"}, {2, 2, 0, 0, 0, 0}, 2},
      {"a device that keeps failing is given up until unplugged", continuous, {Silent()},
       [](Rig& rig) {
         rig.observer.on_notice = [&rig](const std::string& text) {
           if (text.find(text::kGaveUpAfter) != std::string::npos) rig.Stop(1);
         };
       },
       kStationNotAllUpdated, {"1.1 failed", "1.2 failed", "1.3 failed"}, {1, 0, 1, 0, 0, 2},
       1},
      {"a device this user may not open is no failed unit", continuous, {Refused()},
       [](Rig& rig) {
         rig.observer.on_notice = [&rig](const std::string& text) {
           if (text == text::kWaitingForDevice) rig.Stop(1);
         };
       },
       kStationAllUpdated, {}, {0, 0, 0, 0, 0, 0}, 0},
      {"a second stop aborts the run in progress", single, {{}},
       [](Rig& rig) {
         // The run is held at its first erase until the station has taken the stops in: the
         // station looks at the stops at the top of each round of its wait for the runs, and
         // ends each round with a sleep; two sleeps after the second stop, the abort is thrown.
         // The run has far more reports to go.
         const std::thread::id station_thread = std::this_thread::get_id();
         rig.bus.Find(1)->SetObserver(std::make_shared<OnFirstErase>([&rig, station_thread] {
           const uint64_t rounds = rig.clock.sleeps_of(station_thread);
           rig.Stop(2);
           EXPECT_TRUE(WaitFor([&] { return rig.clock.sleeps_of(station_thread) >= rounds + 2; }));
           EXPECT_TRUE(WaitFor([&rig] { return Contains(rig.observer.notices(), text::kStopping); }));
         }));
       },
       kStationAborted, {"1.1 interrupted"}, {1, 0, 0, 0, 1, 0}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    for (const sim::SimDeviceConfig& device : c.devices) (void)rig.bus.Plug(device);
    if (c.script) c.script(rig);
    std::atomic<uint64_t> started{0};
    rig.observer.on_started = [&](const UnitStart& start) {
      if (start.attempt == 1 && ++started > c.max_units) rig.Stop(2);
    };
    EXPECT_EQ(rig.Run(c.config), c.status);

    std::vector<std::string> runs = rig.observer.runs();
    std::sort(runs.begin(), runs.end());
    EXPECT_EQ(runs, c.runs);
    const RecordSummary s = rig.observer.summary();
    if (c.config.all || c.config.continuous || c.status == kStationAborted) {
      ASSERT_EQ(rig.observer.summaries(), 1);
      EXPECT_EQ(s.units, c.summary.units);
      EXPECT_EQ(s.updated, c.summary.updated);
      EXPECT_EQ(s.failed(), c.summary.failed);
      EXPECT_EQ(s.declined, c.summary.declined);
      EXPECT_EQ(s.interrupted, c.summary.interrupted);
      EXPECT_EQ(s.retries, c.summary.retries);
    }
    // The record holds every run, with the session's fields, and its summary is the one the
    // station showed: `report` and the station agree.
    const std::vector<UnitRecord> records = rig.record.records();
    EXPECT_EQ(records.size(), c.runs.size());
    for (const UnitRecord& r : records) EXPECT_EQ(r.package_sha256, "loaded-bytes");
    if (rig.observer.summaries() == 1) {
      EXPECT_EQ(SummaryText(SummariseRecords(records)), SummaryText(s));
    }
    // Every device is free again.
    EXPECT_EQ(rig.mutexes.held(kDeviceMutexName), 0);
    EXPECT_EQ(rig.mutexes.held(kRunMutexName), 0);
  }
}

// A front end that stops drawing (a terminal stopped with Ctrl-S, a console selection, a pipe
// nobody reads) stops no device: the runs go on to their end while every drawing call is held.
TEST(Station, AFrontEndThatStopsDrawingStopsNoDevice) {
  Rig rig;
  const std::vector<std::shared_ptr<sim::SimDevice>> devices = {rig.bus.Plug(), rig.bus.Plug()};
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  rig.observer.on_percent = [&](int, uint32_t) {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(30), [&] { return released; });
  };
  auto done = [&] {
    return std::all_of(devices.begin(), devices.end(), [](const auto& device) {
      const std::vector<sim::SimCommand> commands = device->Commands();
      return !commands.empty() && commands.back().opcode == CMD_OVER;
    });
  };
  bool done_while_held = false;
  std::thread front_end_user([&] {
    done_while_held = WaitFor(done);
    std::lock_guard lock(mutex);
    released = true;
    changed.notify_all();
  });
  EXPECT_EQ(rig.Run(Config(true, false)), kStationAllUpdated);
  front_end_user.join();
  EXPECT_TRUE(done_while_held);
  // Both devices hold the package, and the record has both units as updated.
  for (const auto& device : devices) {
    test::ExpectFlashHoldsPackage(device->FlashImage(), test::ThreeAreaPackage());
  }
  const std::vector<UnitRecord> records = rig.record.records();
  ASSERT_EQ(records.size(), 2u);
  for (const UnitRecord& r : records) EXPECT_EQ(r.result, UnitResult::kUpdated);
}

// A unit's duration comes from the steady clock: a wall clock set back an hour during the unit
// moves its timestamps, never its duration.
TEST(Station, AWallClockSetBackLeavesTheDurationWhole) {
  Rig rig;
  rig.bus.Plug();
  std::atomic<int> readings{0};
  rig.wall_clock_ms = [&] {
    const int64_t start = 1'800'000'000'000;  // 2027-01-15
    return readings.fetch_add(1) == 0 ? start : start - 3'600'000;
  };
  const uint64_t slept_before = rig.clock.slept_ms();
  EXPECT_EQ(rig.Run(Config(false, false)), kStationAllUpdated);
  const std::vector<UnitRecord> records = rig.record.records();
  ASSERT_EQ(records.size(), 1u);
  // The run's time passes only in its own sleeps, which are among all the station's.
  EXPECT_LE(records[0].duration_ms, rig.clock.slept_ms() - slept_before);
  EXPECT_GT(records[0].duration_ms, 0u);
  EXPECT_EQ(records[0].start, "2027-01-15T08:00:00.000Z");
  EXPECT_EQ(records[0].end, "2027-01-15T07:00:00.000Z");
}

// A device this user may not open is reported as such, with its name, and never run.
TEST(Station, TellsADeviceThisUserMayNotOpen) {
  Rig rig;
  (void)rig.bus.Plug(Refused());
  rig.observer.on_notice = [&rig](const std::string& text) {
    if (text == text::kWaitingForDevice) rig.Stop(1);
  };
  EXPECT_EQ(rig.Run(Config(false, true)), kStationAllUpdated);
  ASSERT_EQ(rig.observer.not_taken().size(), 1u);
  EXPECT_EQ(rig.observer.not_taken()[0].rfind(
                std::to_string(static_cast<int>(DiscoveryMiss::kAccessDenied)) + " ", 0),
            0u);
  EXPECT_TRUE(rig.bus.Devices()[0]->Commands().empty());
}

// A question waits for the station's owner without holding anything up: the other device is
// updated meanwhile, and a stop answers the open question No.
TEST(Station, OtherDevicesGoOnWhileOneAsksAndAStopAnswersNo) {
  Rig rig;
  (void)rig.bus.Plug(SameVersion());
  (void)rig.bus.Plug();
  std::atomic<uint64_t> open_question{0};
  std::atomic<bool> updated{false};
  rig.observer.on_question = [&](const StationQuestion& q) { open_question = q.id; };
  rig.observer.on_finished = [&](const UnitEnd& end) {
    if (end.result == UnitResult::kUpdated) updated = true;
  };
  // The observer is called on the station's own thread, in the order the events happened, so
  // the owner's answer comes from a thread of its own: once the updated device has ended and
  // the other's question has been drawn, the question must still be open. It stops the station
  // in any case, so a failure here never leaves the station waiting for ever.
  std::thread owner([&] {
    const bool both = WaitFor([&] { return updated.load() && open_question.load() != 0; });
    EXPECT_TRUE(both);
    if (both) {
      EXPECT_TRUE(rig.station->QuestionOpen(open_question));
    }
    rig.Stop(1);
  });
  EXPECT_EQ(rig.Run(Config(true, false)), kStationNotAllUpdated);
  owner.join();
  std::vector<std::string> runs = rig.observer.runs();
  std::sort(runs.begin(), runs.end());
  EXPECT_EQ(runs, (std::vector<std::string>{"1.1 declined", "2.1 updated"}));
  EXPECT_FALSE(rig.station != nullptr);
  EXPECT_EQ(rig.observer.questions().size(), 1u);
  EXPECT_EQ(rig.observer.summary().declined, 1u);
  EXPECT_EQ(rig.observer.summary().failed(), 0u);
}

// A station that cannot write a unit's record says so, starts no further unit (a device plugged
// in afterwards is left alone) and ends with status 1.
TEST(Station, ARecordThatCannotBeWrittenStopsTheStation) {
  Rig rig;
  rig.record.fails = true;
  (void)rig.bus.Plug();
  ReplaceAfterEachUnit(rig);
  std::atomic<int> started{0};
  rig.observer.on_started = [&](const UnitStart&) {
    if (++started > 1) rig.Stop(2);
  };
  EXPECT_EQ(rig.Run(Config(false, true)), kStationNotAllUpdated);
  EXPECT_EQ(started.load(), 1);
  EXPECT_EQ(rig.observer.runs(), std::vector<std::string>{"1.1 updated"});
  EXPECT_TRUE(Contains(rig.observer.messages(),
                       std::string(text::kCannotWriteRecord) + " | No space left on device"));
  EXPECT_TRUE(Contains(rig.observer.notices(), text::kRecordStopsStation));
}

// A lock another updater process holds is "busy", never a failure: a continuous station waits
// for it (single device or all), and a one-shot station says which lock is held and starts
// nothing.
TEST(Station, ALockHeldElsewhereIsWaitedForOrNamed) {
  struct LockCase {
    const char* name;
    StationConfig config;
    const char* held;
    int status;
    std::vector<std::string> runs;
    const char* message;  // a message the station gives, "" for none
  };
  const LockCase cases[] = {
      {"single, continuous, device mutex", Config(false, true, 1), kDeviceMutexName, 0,
       {"1.1 updated"}, ""},
      {"single, continuous, run lock", Config(false, true, 1), kRunMutexName, 0, {"1.1 updated"},
       ""},
      {"all, continuous, device mutex", Config(true, true, 1), kDeviceMutexName, 0,
       {"1.1 updated"}, ""},
      {"single, once, run lock", Config(false, false), kRunMutexName, 1, {},
       "The device is in use by another updater process (it holds QV_UPDATER_RUN); wait until "
       "that one has finished."},
      {"all, once, device mutex", Config(true, false), kDeviceMutexName, 1, {},
       "The device is in use by another updater process (it holds QV_UPDATER); wait until that "
       "one has finished."},
  };
  for (const LockCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    (void)rig.bus.Plug();
    // The other process: it holds the lock until the station says it waits.
    NamedMutexResult other = rig.mutexes.Create(c.held);
    ASSERT_TRUE(other.handle);
    std::atomic<bool> waited{false};
    rig.observer.on_message = [&](const std::string& text) {
      if (text == text::kWaitingForOtherProcess && !waited.exchange(true)) other.handle.reset();
    };
    EXPECT_EQ(rig.Run(c.config), c.status);
    EXPECT_EQ(rig.observer.runs(), c.runs);
    EXPECT_EQ(waited.load(), c.config.continuous);
    if (*c.message != 0) {
      EXPECT_EQ(rig.observer.messages(), std::vector<std::string>{c.message});
    }
  }
}

}  // namespace
}  // namespace qv::station
