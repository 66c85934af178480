#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"

namespace qv {

// The device part of the link: the open port, the named mutex that marks it as taken, the
// cancel/read/write events and the two report primitives.
//
// A port is shared with a transfer in progress, so that a release from another thread never
// closes it under that transfer: the transfer sees the cancel pulse, fails, and the port is
// closed when the last user lets go of it.
class HidDevice {
 public:
  explicit HidDevice(Clock& clock) : clock_(clock) {}
  virtual ~HidDevice();
  HidDevice(const HidDevice&) = delete;
  HidDevice& operator=(const HidDevice&) = delete;

  // Keeps an opened, matching port and the mutex (null when it could not be created).
  void Take(std::unique_ptr<HidPort> port, std::unique_ptr<NamedMutexHandle> mutex);
  // Cancel pulse and port close when a port is held, then the mutex; count 0. Never blocks on
  // a transfer.
  void Release();

  [[nodiscard]] uint32_t count() const { return count_.load(); }
  [[nodiscard]] bool HoldsPort() const;
  [[nodiscard]] bool HoldsMutex() const { return mutex_ != nullptr; }

  // Sends one report; count = bytes moved counting the report number. Fails when the port is
  // gone, the write fails, or a cancel came during the transfer.
  [[nodiscard]] bool WriteReport(const Report& report, uint32_t& count);
  // Waits up to timeout_ms (measured on the clock) for one input report, in short slices so
  // that a cancel is seen promptly. Same count and failure rules as WriteReport.
  [[nodiscard]] bool ReadReport(Report& report, uint32_t& count, uint32_t timeout_ms);

 private:
  [[nodiscard]] std::shared_ptr<HidPort> CurrentPort() const;
  [[nodiscard]] bool CancelSince(uint64_t mark) const;
  [[nodiscard]] bool Complete(ManualResetEvent& done, uint64_t cancel_mark, int moved,
                              uint32_t& count);

  Clock& clock_;
  std::atomic<uint32_t> count_{0};
  mutable std::mutex port_mutex_;
  std::shared_ptr<HidPort> port_;
  // Created in this order: cancel, read, write.
  ManualResetEvent cancel_;
  ManualResetEvent read_;
  ManualResetEvent write_;
  std::unique_ptr<NamedMutexHandle> mutex_;
};

}  // namespace qv
