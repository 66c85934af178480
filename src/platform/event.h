#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace qv {

// Someone waiting on one or more events; woken by any of them.
struct EventWaiter {
  std::mutex mutex;
  std::condition_variable wake;
  bool woken = false;
};

// A manual-reset event: stays signalled from Set until Reset. Besides the level it counts how
// often it was set, so that a waiter can tell that a short pulse happened while it was busy
// even when the event has been reset again since.
class ManualResetEvent {
 public:
  ManualResetEvent() = default;
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  void Set();
  void Reset();
  [[nodiscard]] bool IsSet() const;
  // Number of Set calls since construction.
  [[nodiscard]] uint64_t SetCount() const;

  void AddWaiter(EventWaiter* waiter);
  void RemoveWaiter(EventWaiter* waiter);

 private:
  mutable std::mutex mutex_;
  bool signalled_ = false;
  uint64_t set_count_ = 0;
  std::vector<EventWaiter*> waiters_;
};

enum class WaitResult { kFirst, kSecond, kTimeout };

// Waits until either event is signalled, at most timeout_ms of real time. When both are
// signalled the first wins.
[[nodiscard]] WaitResult WaitAny(ManualResetEvent& first, ManualResetEvent& second,
                                 uint32_t timeout_ms);

}  // namespace qv
