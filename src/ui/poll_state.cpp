#include "ui/poll_state.h"

#include <limits>

namespace qv {
namespace {

// The counters only need to reach their thresholds; stopping at the maximum keeps a program
// left polling for a very long time from overflowing them.
void Increment(int32_t& counter) {
  if (counter < std::numeric_limits<int32_t>::max()) ++counter;
}

}  // namespace

PollStep AdvancePoll(PollState& state, bool device_found, bool run_succeeded) {
  if (!device_found) {
    state.seen_count = 0;
    Increment(state.miss_count);
    if (state.miss_count >= kMissesToForget) state.device_handled = 0;
    return PollStep::kNoDevice;
  }
  state.miss_count = 0;
  if (state.device_handled == 1 && run_succeeded) return PollStep::kReleaseDevice;
  Increment(state.seen_count);
  if (state.seen_count < kSightingsToStart) return PollStep::kKeepDevice;
  state.device_handled = 1;
  return PollStep::kHandOver;
}

}  // namespace qv
