#include "update/device_poll.h"

#include <limits>

namespace qv {
namespace {

// The counters only need to reach their thresholds; stopping at the maximum keeps a program
// left polling for a very long time from wrapping them.
void Increment(uint32_t& counter) {
  if (counter < std::numeric_limits<uint32_t>::max()) ++counter;
}

}  // namespace

void DevicePoll::RunFinished(bool succeeded) {
  last_run_succeeded_ = succeeded;
  if (succeeded) {
    failed_runs_ = 0;
  } else {
    Increment(failed_runs_);
  }
}

bool DevicePoll::GaveUp() const {
  return rules_.max_failed_runs != 0 && failed_runs_ >= rules_.max_failed_runs;
}

DevicePoll::Action DevicePoll::OnPoll(bool device_found) {
  if (!device_found) {
    counters_.seen = 0;
    Increment(counters_.missed);
    if (counters_.missed >= kMissesToForget) {
      counters_.handled = false;
      failed_runs_ = 0;
    }
    return Action::kWait;
  }
  counters_.missed = 0;
  if (counters_.handled && (last_run_succeeded_ || GaveUp())) return Action::kRelease;
  Increment(counters_.seen);
  if (counters_.seen < kSightingsToStart) return Action::kWait;
  counters_.handled = true;
  return Action::kStartRun;
}

}  // namespace qv
