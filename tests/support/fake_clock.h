#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace qv::test {

// A clock whose sleeps return at once and advance virtual time; thread-safe.
class FakeClock final : public Clock {
 public:
  [[nodiscard]] uint32_t TickMs() override { return now_.load(); }
  void SleepMs(uint32_t ms) override {
    now_.fetch_add(ms);
    slept_.fetch_add(ms);
  }
  void Advance(uint32_t ms) { now_.fetch_add(ms); }
  // Total milliseconds slept through this clock.
  [[nodiscard]] uint64_t slept_ms() const { return slept_.load(); }

 private:
  std::atomic<uint32_t> now_{1000};
  std::atomic<uint64_t> slept_{0};
};

}  // namespace qv::test
