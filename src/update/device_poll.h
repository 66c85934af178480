#pragma once

#include <cstdint>

#include "device/device_timings.h"

namespace qv {

struct DevicePollRules {
  uint32_t max_failed_runs = 0;  // 0: retry a failing device for ever
};

// The poll's memory between polls.
struct DevicePollCounters {
  uint32_t seen = 0;    // polls in a row that found a device
  uint32_t missed = 0;  // polls in a row that found none
  bool handled = true;  // the device on the bus has been (or is being) updated
};

// How continuous mode decides, one poll every 200 ms, whether the device on the bus is the next
// one to update. The wizard and `qvupdate flash --continuous` share these rules:
// - a new device is started once it has been seen on three polls in a row; a poll that finds
//   none starts the count again;
// - the device that was just updated successfully is not taken again: it is released at every
//   poll until no device has been seen on two polls in a row, and only then does a device count
//   as new;
// - after a failed run a device that is still attached is run again at once (the sightings
//   that started it still count), without being unplugged.
// Every run, the first one included, counts as handling the device that is attached; a run
// started outside the poll (the wizard's Other device) leaves the poll's memory as it is.
//
// One rule is optional: with max_failed_runs set, a device that has failed that many runs in a
// row is left alone, as if it had been updated, until it is unplugged, so a broken device cannot
// keep a production station busy forever. The wizard retries without limit.
class DevicePoll {
 public:
  static constexpr uint32_t kPollIntervalMs = kDevicePollIntervalMs;
  static constexpr uint32_t kSightingsToStart = 3;
  static constexpr uint32_t kMissesToForget = 2;
  // The command-line tool's limit of failed runs in a row on one device.
  static constexpr uint32_t kCommandLineMaxFailedRuns = 3;

  using Rules = DevicePollRules;
  using Counters = DevicePollCounters;

  enum class Action {
    kWait,      // no device, or a new one not yet seen often enough (it stays taken until the
                // next poll's discovery)
    kRelease,   // a device already handled: let it go again
    kStartRun,  // a new device, or a failed one to retry: run the update on it
  };

  explicit DevicePoll(Rules rules = {}, Counters start = {}) : rules_(rules), counters_(start) {}

  // The outcome of the run on the attached device, however that run was started.
  void RunFinished(bool succeeded);
  // One poll, after discovery has said whether a device was found (and taken).
  [[nodiscard]] Action OnPoll(bool device_found);
  // The attached device has failed too often and is being left alone.
  [[nodiscard]] bool GaveUp() const;
  [[nodiscard]] const Counters& counters() const { return counters_; }

 private:
  Rules rules_;
  Counters counters_;
  bool last_run_succeeded_ = false;
  uint32_t failed_runs_ = 0;  // failed runs in a row on the attached device
};

}  // namespace qv
