#pragma once

#include <mutex>

#include "update/device_poll.h"

namespace qv {

// Continuous mode's poll memory as the wizard shares it between threads: the worker thread
// polls with it, the user-interface thread records each run's end in it and may read a copy of
// its counters at any time. Every access takes the lock, so a reader never sees a poll halfway.
class SharedDevicePoll {
 public:
  SharedDevicePoll() = default;
  explicit SharedDevicePoll(DevicePoll poll) : poll_(poll) {}
  SharedDevicePoll(const SharedDevicePoll&) = delete;
  SharedDevicePoll& operator=(const SharedDevicePoll&) = delete;

  void Replace(DevicePoll poll) {
    const std::lock_guard<std::mutex> hold(mutex_);
    poll_ = poll;
  }
  void RunFinished(bool succeeded) {
    const std::lock_guard<std::mutex> hold(mutex_);
    poll_.RunFinished(succeeded);
  }
  [[nodiscard]] DevicePoll::Action OnPoll(bool device_found) {
    const std::lock_guard<std::mutex> hold(mutex_);
    return poll_.OnPoll(device_found);
  }
  // A copy taken under the lock.
  [[nodiscard]] DevicePoll::Counters counters() const {
    const std::lock_guard<std::mutex> hold(mutex_);
    return poll_.counters();
  }

 private:
  mutable std::mutex mutex_;
  DevicePoll poll_;
};

}  // namespace qv
