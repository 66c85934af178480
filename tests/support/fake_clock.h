#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace qv::test {

// A clock whose sleeps return at once and advance virtual time; thread-safe.
//
// Each thread has its own view of the time: its sleeps move only its own view, so a thread that
// polls in a loop (a station waiting for its runs) never eats into the time-outs of another
// (a run waiting for a device's answer). Advance moves every thread's view at once. A thread's
// view starts, at its first use of the clock, from the latest view any thread has reached, so
// that no thread starts in the past of what another has already seen.
class FakeClock final : public Clock {
 public:
  [[nodiscard]] uint32_t TickMs() override {
    std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(kStartMs + advanced_ + OwnLocked().view);
  }
  void SleepMs(uint32_t ms) override {
    {
      std::lock_guard lock(mutex_);
      Own& own = OwnLocked();
      own.view += ms;
      own.sleeps += 1;
      if (own.view > latest_) latest_ = own.view;
      slept_ += ms;
    }
    // The sleep returns at once, but another thread may run meanwhile, as it would during a
    // real one: a thread that polls with sleeps does not starve the thread it waits for.
    std::this_thread::yield();
  }
  void Advance(uint32_t ms) {
    std::lock_guard lock(mutex_);
    advanced_ += ms;
  }
  // Total milliseconds slept through this clock, by every thread.
  [[nodiscard]] uint64_t slept_ms() const {
    std::lock_guard lock(mutex_);
    return slept_;
  }
  // How many times the given thread has slept through this clock: a thread that polls with
  // sleeps has gone once more round its loop each time.
  [[nodiscard]] uint64_t sleeps_of(std::thread::id thread) const {
    std::lock_guard lock(mutex_);
    const auto it = own_.find(thread);
    return it == own_.end() ? 0 : it->second.sleeps;
  }

 private:
  static constexpr uint64_t kStartMs = 1000;

  struct Own {
    uint64_t view = 0;  // milliseconds slept on this thread's view, from the start
    uint64_t sleeps = 0;
  };

  Own& OwnLocked() {
    return own_.try_emplace(std::this_thread::get_id(), Own{latest_, 0}).first->second;
  }

  mutable std::mutex mutex_;
  uint64_t advanced_ = 0;  // by Advance, for every thread
  uint64_t latest_ = 0;    // the latest view any thread has slept to
  uint64_t slept_ = 0;
  std::map<std::thread::id, Own> own_;
};

}  // namespace qv::test
