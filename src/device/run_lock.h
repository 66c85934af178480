#pragma once

#include <memory>
#include <mutex>

#include "platform/named_mutex.h"

namespace qv {

// The machine-wide name of the run lock. The device mutex "QV_UPDATER" is given up while a
// device resets; this second lock is held by a run from its first discovery to its end, so that
// no other updater process takes the device in that gap.
inline constexpr const char* kRunMutexName = "QV_UPDATER_RUN";

// The run lock as one link sees it. Holding is counted: the runs made through the link and a
// station session around them share the one machine-wide lock, which is let go when the last
// of them ends.
class RunLock {
 public:
  explicit RunLock(NamedMutexSystem& mutexes) : mutexes_(mutexes) {}
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Holds the lock for this process. False when another process holds it (nothing is held
  // then); true also when the name cannot be created at all, since a missing lock must not stop
  // updates on a system that has none.
  [[nodiscard]] bool Acquire();
  // Ends one Acquire that returned true.
  void Release();
  // Whether another process holds the lock now. Discovery takes no device then.
  [[nodiscard]] bool HeldElsewhere();

 private:
  NamedMutexSystem& mutexes_;
  std::mutex mutex_;
  int holders_ = 0;
  std::unique_ptr<NamedMutexHandle> handle_;
};

// Holds the run lock for a scope, when it can be had.
class RunLockHold {
 public:
  explicit RunLockHold(RunLock& lock) : lock_(lock), held_(lock.Acquire()) {}
  ~RunLockHold() {
    if (held_) lock_.Release();
  }
  RunLockHold(const RunLockHold&) = delete;
  RunLockHold& operator=(const RunLockHold&) = delete;
  [[nodiscard]] bool held() const { return held_; }

 private:
  RunLock& lock_;
  bool held_;
};

}  // namespace qv
