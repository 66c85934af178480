#pragma once

#include <cstdint>

namespace qv {

// Millisecond ticks and sleeping. Every wait of the updater goes through a Clock so that tests
// can run the 200 ms lock retries and the multi-second reconnect waits instantly.
class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start; wraps like a 32-bit tick count.
  [[nodiscard]] virtual uint32_t TickMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

// The steady system clock.
Clock& SystemClock();

// The steady clock in milliseconds from an arbitrary start, 64 bits wide (no wrap), for spans
// measured in one process.
[[nodiscard]] uint64_t SteadyMs();

// The wall clock: milliseconds since the Unix epoch, for timestamps only (it may be set back).
[[nodiscard]] int64_t SystemEpochMs();

}  // namespace qv
