#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace qv {
namespace {

// Ticks from the monotonic clock, so that a change of the wall clock never stretches or cuts a
// time-out. The 32-bit value wraps after about 49 days; callers compare differences.
class SteadyClock final : public Clock {
 public:
  [[nodiscard]] uint32_t TickMs() override {
    const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
  }
  void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace

uint64_t SteadyMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

int64_t SystemEpochMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

Clock& SystemClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace qv
