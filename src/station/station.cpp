#include "station/station.h"

#include <initializer_list>
#include <set>
#include <utility>

#include "device/attached_devices.h"
#include "device/device_choice.h"
#include "device/device_identity.h"
#include "device/hid_link.h"
#include "device/run_lock.h"
#include "station/station_texts.h"
#include "station/visible_text.h"
#include "update/update_texts.h"

namespace qv::station {

namespace {

// Who holds a lock: a process's name is any local process's own choice, shown, never obeyed.
std::string ShownHolderDetail(NamedMutexSystem& mutexes,
                              std::initializer_list<std::string> names) {
  return VisibleText(HolderDetail(mutexes, names));
}

}  // namespace

std::string DeviceLabel(const HidInterfaceInfo& device) {
  std::string label = DeviceIdentity::Of(device).Text();
  if (!device.usb_port.empty() && !device.serial_number.empty()) {
    label += ", serial " + device.serial_number;
  }
  // The serial number is the device's own text, kept as it is here (JSON carries it so); a
  // front end escapes it where it draws on a terminal.
  return label;
}

std::string SerialAfterResetText(const std::string& serial) {
  if (serial.empty()) return "came back from its reset without a serial number";
  return "came back from its reset with serial " + VisibleText(serial);
}

std::string DeviceName(const HidInterfaceInfo& device) {
  if (!device.usb_port.empty()) return "port " + device.usb_port;
  if (!device.serial_number.empty()) return "serial " + device.serial_number;
  return device.path;
}

Station::Station(const StationConfig& config, StationEnvironment env,
                 const PackageStore& package, StationObserver& observer)
    : config_(config), env_(std::move(env)), package_(package), observer_(observer) {}

Station::~Station() {
  // Runs still going (only when Run was left by an exception) are aborted and joined before
  // what they share goes.
  for (auto& [key, slot] : slots_) slot.running.reset();
}

int Station::Run() {
  if (!HoldSessionLocks()) {
    observer_.Drain();
    return kStationNotAllUpdated;
  }
  shared_.reset(new StationShared{.observer = observer_,
                                  .questions = questions_,
                                  .bus = env_.bus,
                                  .mutexes = *session_mutexes_,
                                  .clock = env_.clock,
                                  .wall_clock_ms = env_.wall_clock_ms ? env_.wall_clock_ms
                                                                      : SystemEpochMs,
                                  .package = package_,
                                  .continuous = config_.continuous,
                                  .unit_lines = config_.all || config_.continuous,
                                  .trace = env_.trace,
                                  .record = env_.record,
                                  .record_template = env_.record_template,
                                  .record_mutex = {}});
  const int status = config_.continuous ? RunContinuous() : RunOnce();
  // The front end has drawn everything, the summary included, when Run returns.
  observer_.Drain();
  return status;
}

// The run lock for the whole session, so that no other updater process takes a device
// between this session's runs or while one resets; with every device at once also the device
// mutex, which the session's links then share.
bool Station::HoldSessionLocks() {
  // A continuous station holds the device mutex too: a device held by another process is then
  // waited for, as busy, instead of being run into a reset that cannot be sent and counted as
  // a failed unit, again and again.
  std::set<std::string> held{kRunMutexName};
  if (config_.all || config_.continuous) held.insert(kDeviceMutexName);
  bool announced = false;
  for (;;) {
    std::string busy;
    for (const std::string& name : held) {
      NamedMutexResult result = env_.mutexes.Create(name);
      if (result.status == NamedMutexStatus::kAlreadyExists) {
        busy = name;
        break;
      }
      if (result.handle) session_locks_.push_back(std::move(result.handle));
    }
    if (busy.empty()) break;
    session_locks_.clear();
    if (!(config_.continuous || config_.wait) || env_.stops.load() != 0) {
      observer_.Message(text::DeviceBusy(busy), ShownHolderDetail(env_.mutexes, {busy}));
      return false;
    }
    if (!announced) {
      observer_.Message(text::kWaitingForOtherProcess, ShownHolderDetail(env_.mutexes, {busy}));
      announced = true;
    }
    env_.clock.SleepMs(DevicePoll::kPollIntervalMs);
  }
  session_mutexes_ = std::make_unique<SessionMutexes>(env_.mutexes, held);
  return true;
}

std::vector<HidInterfaceInfo> Station::Attached() {
  std::vector<HidInterfaceInfo> found;
  const bool listed = env_.bus.Enumerate(kDeviceVendorId, kDeviceProductId, found);
  ReportListing(listed);
  if (!listed) return {};
  if (config_.device.empty()) return found;
  std::vector<HidInterfaceInfo> wanted;
  for (const HidInterfaceInfo& info : found) {
    if (info.path == config_.device || info.serial_number == config_.device ||
        info.usb_port == config_.device) {
      wanted.push_back(info);
    }
  }
  return wanted;
}

// Says once that the list of devices cannot be read, with the system's reason, and once that it
// can again: a station that only waited would not tell a broken system from an empty bench.
void Station::ReportListing(bool listed) {
  if (listed != list_unreadable_) return;
  list_unreadable_ = !listed;
  if (list_unreadable_) {
    observer_.Message(qv::text::CannotListDevices(env_.bus.EnumerationFailure()), "");
  } else {
    observer_.Notice(NoticeKind::kNotice, text::kDevicesListedAgain);
  }
}

std::vector<AttachedDevice> Station::AttachedDevices() {
  return GroupByDevice(Attached());
}

// A device named by its path keeps to that interface; otherwise the device's first one is taken.
DeviceIdentity Station::IdentityFor(const HidInterfaceInfo& entry) const {
  if (!config_.device.empty() && entry.path == config_.device) {
    return DeviceIdentity::OfInterface(entry);
  }
  return DeviceIdentity::Of(entry);
}

// Devices that nothing tells apart are left alone, each told once while it stays attached;
// what is left are the devices a run may start on. True when one was left alone.
bool Station::LeaveIndistinctAlone(std::vector<AttachedDevice>& devices) {
  std::set<std::string> now;
  bool left = false;
  for (auto it = devices.begin(); it != devices.end();) {
    if (!it->indistinct) {
      ++it;
      continue;
    }
    const std::string key = it->identity.Text();
    now.insert(key);
    if (told_indistinct_.count(key) == 0) {
      const bool others = config_.all && devices.size() > 1;
      observer_.Message(kIndistinctDevicesText,
                        others ? text::IndistinctLeftAlone(VisibleText(key)) : std::string());
    }
    left = true;
    it = devices.erase(it);
  }
  told_indistinct_ = std::move(now);
  if (left) refused_ = true;
  return left;
}

Station::Slot& Station::SlotFor(const HidInterfaceInfo& info) {
  const std::string key = DeviceIdentity::Of(info).Text();
  Slot& slot = slots_[key];
  slot.device = info;  // the path may have changed since
  if (slot.id < 0) {
    slot.id = next_slot_id_++;
    slot.label = config_.all && DeviceIdentity::Of(info).Known() ? DeviceLabel(info) : info.path;
    slot.poll = DevicePoll(DevicePoll::Rules{config_.max_failed_runs},
                           DevicePoll::Counters{0, 0, false});
    observer_.SlotAdded(slot.id, slot.label);
  }
  return slot;
}

bool Station::AnyRunning() const {
  for (const auto& [key, slot] : slots_) {
    if (slot.running) return true;
  }
  return false;
}

// Only a new unit is gated by the count and by a record that cannot be written; the retry of
// a unit already counted is not a new unit.
bool Station::NewUnitAllowed() const {
  if (record_failed_) return false;
  return config_.count == 0 || units_started_ < config_.count;
}

// A unit whose last run failed on a device still attached and not given up is retried at the
// next poll.
bool Station::RetryPending() const {
  if (record_failed_) return false;
  for (const auto& [key, slot] : slots_) {
    if (!slot.running && slot.last_failed && slot.missed == 0 && !slot.poll.GaveUp()) {
      return true;
    }
  }
  return false;
}

// Whether this user may open the slot's device. A device the system refuses is told once, as
// the access problem it is, and left alone (like an updated one) until it is unplugged: it is
// no failed unit.
bool Station::MayOpen(Slot& slot) {
  const HidOpenResult opened = env_.bus.OpenWithReason(slot.device.path);
  if (opened.failure != HidOpenFailure::kAccessDenied) return true;
  observer_.DeviceNotTaken(DiscoveryMiss::kAccessDenied, slot.label);
  slot.poll.RunFinished(true);
  return false;
}

void Station::StartRun(Slot& slot) {
  const bool retry = slot.unit != 0 && slot.last_failed;
  if (!retry) {
    slot.unit = ++units_started_;
    slot.attempts = 0;
  }
  ++slot.attempts;
  UnitTask task{slot.device, IdentityFor(slot.device), slot.label, slot.id, slot.unit,
                slot.attempts};
  observer_.UnitStarted(UnitStart{slot.id, slot.label, slot.device, slot.unit, slot.attempts});
  slot.running = std::make_unique<UnitRun>(*shared_, std::move(task));
}

void Station::CollectFinished() {
  for (auto& [key, slot] : slots_) {
    if (!slot.running || !slot.running->finished()) continue;
    const UnitOutcome outcome = slot.running->Join();
    const UnitTask task = slot.running->task();
    slot.running.reset();
    Book(slot, task, outcome);
  }
}

void Station::Book(Slot& slot, const UnitTask& task, const UnitOutcome& outcome) {
  const UnitResult result = outcome.record.result;
  // A declined unit is handled: it is left alone until it is unplugged, like an updated one.
  const bool handled = result == UnitResult::kUpdated || result == UnitResult::kDeclined;
  slot.poll.RunFinished(handled);
  slot.last_failed = !handled;
  if (result == UnitResult::kInterrupted) interrupted_ = true;
  records_.push_back(outcome.record);
  observer_.UnitFinished(UnitEnd{task.slot, task.label, task.unit, task.attempt, result,
                                 outcome.record.message, outcome.area,
                                 outcome.record.duration_ms, outcome.reports,
                                 outcome.record.serial_after_reset});
  if (!outcome.record_error.empty()) {
    observer_.Message(text::kCannotWriteRecord, outcome.record_error);
    if (!record_failed_) observer_.Notice(NoticeKind::kNotice, text::kRecordStopsStation);
    record_failed_ = true;
  }
  if (config_.continuous && slot.poll.GaveUp()) {
    observer_.Notice(NoticeKind::kNotice, std::string(text::kGaveUpBefore) + VisibleText(task.label) +
                                              text::kGaveUpMiddle +
                                              std::to_string(config_.max_failed_runs) +
                                              text::kGaveUpAfter);
  }
}

// Looks at the stop requests: the first stops starting devices (and answers open questions
// No), the second aborts the runs in progress. True once the station should start no device.
bool Station::Stopping() {
  const uint32_t stops = env_.stops.load();
  if (stops >= 1 && !acknowledged_) {
    acknowledged_ = true;
    questions_.Close();
    if (AnyRunning()) observer_.Notice(NoticeKind::kNotice, text::kStopping);
  }
  if (stops >= 2 && !aborted_) {
    aborted_ = true;
    for (auto& [key, slot] : slots_) {
      if (slot.running) slot.running->Abort();
    }
  }
  return stops >= 1;
}

void Station::WaitForRuns() {
  while (AnyRunning()) {
    Stopping();
    CollectFinished();
    if (AnyRunning()) env_.clock.SleepMs(kTickMs);
  }
}

// Whether discovery can take a device now; when it cannot, the observer learns why: none
// attached, one held by another updater process, or one this user may not open.
bool Station::DeviceAvailable(const std::vector<AttachedDevice>& devices) {
  DiscoveryMiss miss = DiscoveryMiss::kNoDevice;
  if (!devices.empty()) {
    HidLink probe(env_.bus, *session_mutexes_, env_.clock);
    probe.KeepToDevice(IdentityFor(devices.front().first()));
    const bool taken = probe.Discover() != 0;
    if (probe.LastFoundIndistinct()) {
      // Nothing is sent: after a reset no run could tell which device to write.
      observer_.Message(kIndistinctDevicesText, "");
      return false;
    }
    if (taken) return true;
    miss = probe.LastMiss();
    if (miss == DiscoveryMiss::kEnumerationFailed) {
      observer_.Message(qv::text::CannotListDevices(probe.LastEnumerationFailure()), "");
      return false;
    }
  }
  if (miss == DiscoveryMiss::kBusy) {
    observer_.Message(text::kDeviceBusy,
                      ShownHolderDetail(*session_mutexes_, {kDeviceMutexName, kRunMutexName}));
    return false;
  }
  observer_.DeviceNotTaken(miss, "");
  return false;
}

// With --wait: while another updater process holds the device, wait for it to end. False when
// a stop came first.
bool Station::WaitWhileTakenElsewhere(std::vector<HidInterfaceInfo>& attached) {
  bool announced = false;
  for (;;) {
    if (attached.empty()) return true;
    HidLink probe(env_.bus, *session_mutexes_, env_.clock);
    probe.KeepToDevice(DeviceIdentity::Of(attached.front()));
    if (probe.Discover() != 0 || probe.LastMiss() != DiscoveryMiss::kBusy) return true;
    const std::string holder =
        ShownHolderDetail(*session_mutexes_, {kDeviceMutexName, kRunMutexName});
    if (env_.stops.load() != 0) {
      observer_.Message(text::kDeviceBusy, holder);
      return false;
    }
    if (!announced) {
      observer_.Message(text::kWaitingForOtherProcess, holder);
      announced = true;
    }
    env_.clock.SleepMs(DevicePoll::kPollIntervalMs);
    attached = Attached();
  }
}

int Station::RunOnce() {
  std::vector<HidInterfaceInfo> attached = Attached();
  if (list_unreadable_) return kStationNotAllUpdated;  // said already, with the reason
  if (config_.wait && !WaitWhileTakenElsewhere(attached)) return kStationNotAllUpdated;
  std::vector<AttachedDevice> devices = GroupByDevice(attached);
  // One device: the one discovery's first entry belongs to.
  if (!config_.all && devices.size() > 1) devices.resize(1);
  if (LeaveIndistinctAlone(devices) && devices.empty()) return kStationNotAllUpdated;
  if (!DeviceAvailable(devices)) return kStationNotAllUpdated;
  for (const AttachedDevice& device : devices) StartRun(SlotFor(device.first()));
  WaitForRuns();
  const RecordSummary summary = Summarise();
  if (config_.all || interrupted_) observer_.Summary(summary, aborted_);
  return ExitStatus(summary);
}

int Station::RunContinuous() {
  // Devices attached at the start are taken at once, as the wizard's Start does; later ones
  // by the poll rules.
  std::vector<AttachedDevice> devices = AttachedDevices();
  LeaveIndistinctAlone(devices);
  for (const AttachedDevice& device : devices) {
    if ((!config_.all && AnyRunning()) || !NewUnitAllowed()) break;
    Slot& slot = SlotFor(device.first());
    slot.poll = DevicePoll(DevicePoll::Rules{config_.max_failed_runs});
    if (MayOpen(slot)) StartRun(slot);
  }
  bool prompted = !AnyRunning();
  if (!AnyRunning()) observer_.Notice(NoticeKind::kPrompt, text::kWaitingForDevice);
  uint32_t since_poll = 0;
  while (!Stopping()) {
    CollectFinished();
    if (!AnyRunning() && !prompted && NewUnitAllowed()) {
      observer_.Notice(NoticeKind::kPrompt, qv::text::kNextDevicePrompt);
      prompted = true;
    }
    if (!NewUnitAllowed() && !AnyRunning() && !RetryPending()) break;
    env_.clock.SleepMs(kTickMs);
    since_poll += kTickMs;
    if (since_poll < DevicePoll::kPollIntervalMs) continue;
    since_poll = 0;
    if (Poll()) prompted = false;
  }
  WaitForRuns();
  const RecordSummary summary = Summarise();
  observer_.Summary(summary, aborted_);
  return ExitStatus(summary);
}

// One poll of every device's rules. True when a run was started.
bool Station::Poll() {
  std::set<std::string> seen;
  bool started = false;
  std::vector<AttachedDevice> devices = AttachedDevices();
  LeaveIndistinctAlone(devices);
  for (const AttachedDevice& device : devices) {
    Slot& slot = SlotFor(device.first());
    seen.insert(device.identity.Text());
    if (slot.running) continue;  // a run in progress: its device comes and goes
    slot.missed = 0;
    if (slot.poll.OnPoll(true) != DevicePoll::Action::kStartRun) continue;
    const bool retry = slot.unit != 0 && slot.last_failed;
    const bool room = config_.all || !AnyRunning();
    if (room && (retry ? !record_failed_ : NewUnitAllowed()) && MayOpen(slot)) {
      StartRun(slot);
      started = true;
    }
  }
  for (auto it = slots_.begin(); it != slots_.end();) {
    if (it->second.running || seen.count(it->first) != 0) {
      ++it;
      continue;
    }
    Forget(it);
  }
  return started;
}

// A slot whose device was not seen: gone for good after the poll's misses, and its next
// appearance is a new unit, on a new line.
void Station::Forget(std::map<std::string, Slot>::iterator& it) {
  Slot& slot = it->second;
  (void)slot.poll.OnPoll(false);
  if (++slot.missed < DevicePoll::kMissesToForget) {
    ++it;
    return;
  }
  observer_.SlotRemoved(slot.id);
  it = slots_.erase(it);
}

RecordSummary Station::Summarise() const { return SummariseRecords(records_); }

int Station::ExitStatus(const RecordSummary& summary) const {
  if (aborted_) return kStationAborted;
  if (record_failed_ || refused_) return kStationNotAllUpdated;
  if (summary.units == 0) return config_.continuous ? kStationAllUpdated : kStationNotAllUpdated;
  return summary.updated == summary.units ? kStationAllUpdated : kStationNotAllUpdated;
}

}  // namespace qv::station
