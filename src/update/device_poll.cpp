#include "update/device_poll.h"

namespace qv {

void DevicePoll::RunFinished(bool succeeded) {
  succeeded_ = succeeded;
  failed_runs_ = succeeded ? 0 : failed_runs_ + 1;
}

DevicePoll::Action DevicePoll::OnPoll(bool device_found) {
  if (!device_found) {
    seen_ = 0;
    if (++missed_ >= kMissesToForget) {
      handled_ = false;
      failed_runs_ = 0;
    }
    return Action::kWait;
  }
  missed_ = 0;
  if (handled_ && (succeeded_ || GaveUp())) return Action::kRelease;
  if (++seen_ < kSightingsToStart) return Action::kWait;
  return Action::kStartRun;
}

}  // namespace qv
