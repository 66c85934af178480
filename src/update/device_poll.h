#pragma once

#include <cstdint>

namespace qv {

// Waiting for the next device in continuous mode, one poll every 200 ms:
// - a device that was just updated successfully is not taken again; it must be missing for two
//   polls in a row before any device counts as new;
// - a new device is started once it has been seen on three polls in a row;
// - after a failed run a device that is still attached is run again at once, but only up to
//   kMaxFailedRuns runs in a row: a device that keeps failing is then left alone, as if it had
//   been updated, until it is unplugged, so a broken device cannot keep the station busy forever.
//
// Every run, the first one included, counts as handling the device that is attached, so the
// device of the first run is not updated a second time when it stays plugged in.
class DevicePoll {
 public:
  static constexpr uint32_t kPollIntervalMs = 200;
  static constexpr uint32_t kSightingsToStart = 3;
  static constexpr uint32_t kMissesToForget = 2;
  static constexpr uint32_t kMaxFailedRuns = 3;

  enum class Action {
    kWait,      // nothing to do (no device, or one not yet seen often enough)
    kRelease,   // a device already handled: let it go again
    kStartRun,  // a new device (or a failed one to retry): run the update on it
  };

  void RunStarted() { handled_ = true; }
  void RunFinished(bool succeeded);
  [[nodiscard]] Action OnPoll(bool device_found);
  // The device that is attached has failed too often and is being left alone.
  [[nodiscard]] bool GaveUp() const { return failed_runs_ >= kMaxFailedRuns; }

 private:
  uint32_t seen_ = 0;
  uint32_t missed_ = 0;
  bool handled_ = false;
  bool succeeded_ = false;
  uint32_t failed_runs_ = 0;
};

}  // namespace qv
