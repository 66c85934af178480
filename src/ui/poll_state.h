#pragma once

#include <cstdint>

namespace qv {

// The device poll's memory, shared by every progress page of one program run.
struct PollState {
  int32_t seen_count = 0;      // consecutive ticks that found a device
  int32_t miss_count = 0;      // consecutive ticks that found none
  int32_t device_handled = 1;  // the device on the bus has already been (or is being) updated
};

enum class PollStep {
  kNoDevice,       // nothing found this tick
  kReleaseDevice,  // the device just updated is still there: let it go again
  kKeepDevice,     // a new device, not yet seen often enough; it stays taken until next tick
  kHandOver,       // start a new progress page for the device
};

inline constexpr int32_t kSightingsToStart = 3;
inline constexpr int32_t kMissesToForget = 2;

// One poll tick's bookkeeping, after discovery has reported whether a device was found.
[[nodiscard]] PollStep AdvancePoll(PollState& state, bool device_found, bool run_succeeded);

}  // namespace qv
