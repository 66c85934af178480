#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"

namespace qv {

// The held device: the open port, the named mutex that marks it as taken, and the two
// synchronous report calls on it. A release from another thread cancels a transfer in
// progress.
//
// The port is shared with a transfer in progress, so that a release never closes it under that
// transfer: the transfer sees the cancel, fails, and the port closes when it lets go.
class HidDevice {
 public:
  explicit HidDevice(Clock& clock) : clock_(clock) {}
  ~HidDevice();
  HidDevice(const HidDevice&) = delete;
  HidDevice& operator=(const HidDevice&) = delete;

  // Keeps an opened, matching port and the mutex (null when it could not be created).
  void Take(std::unique_ptr<HidPort> port, std::unique_ptr<NamedMutexHandle> mutex);
  // When a port is held: a 10 ms cancel pulse, then the port is let go. Then the mutex.
  // Never waits for a transfer.
  void Release();

  // Sends one report. Gives the bytes moved counting the report number (65 for a whole
  // report); nothing when no port is held, the write failed or a release came meanwhile.
  [[nodiscard]] std::optional<uint32_t> Send(const Report& report);
  // Waits up to within_ms (on the clock) for one input report, in 10 ms slices so that a
  // release is seen promptly. Same result as Send.
  [[nodiscard]] std::optional<uint32_t> Receive(Report& report, uint32_t within_ms);

 private:
  [[nodiscard]] std::shared_ptr<HidPort> CurrentPort() const;

  Clock& clock_;
  mutable std::mutex port_mutex_;
  std::shared_ptr<HidPort> port_;
  std::unique_ptr<NamedMutexHandle> mutex_;
  // Counts the edges of the cancel pulse: odd while it is raised. A transfer that finds a
  // different count at its end than at its start was cancelled, even when the whole pulse
  // fell inside one blocking call.
  std::atomic<uint64_t> cancel_edges_{0};
};

}  // namespace qv
