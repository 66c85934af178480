#include "update/progress_state.h"

#include <cstdio>

#include "update/update_texts.h"

namespace qv {

uint32_t ComputePercent(const ProgressState& state) {
  if (state.blocks_total == 0) return state.base_percent;
  const uint64_t span = 100u - state.base_percent;
  return state.base_percent + static_cast<uint32_t>(span * state.blocks_done / state.blocks_total);
}

uint8_t BasePercent(bool sound_present, bool map_present) {
  if (sound_present && map_present) return 10;
  if (sound_present || map_present) return 20;
  return 30;
}

uint32_t InitialTimeBudgetMs(uint32_t blocks_total) {
  const uint64_t budget = 32ull * blocks_total + 34ull * (blocks_total / 4) + 4000ull;
  return budget > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(budget);
}

void PublishPercent(const ProgressState& state, ProgressContext& progress) {
  progress.percent.store(ComputePercent(state));
  progress.PostProgressMessage();
}

void SpendRemainingTime(ProgressContext& progress, uint32_t ms) {
  progress.remaining_time_ms =
      progress.remaining_time_ms > ms ? progress.remaining_time_ms - ms : 0;
}

std::string RemainingTimeText(uint32_t percent, uint32_t remaining_ms) {
  const uint32_t total_seconds = remaining_ms / 1000;
  const uint32_t minutes = total_seconds / 60;
  const uint32_t seconds = total_seconds % 60;
  const int p = static_cast<int>(percent);
  char text[96];
  if (minutes > 0 && seconds > 0) {
    std::snprintf(text, sizeof text, "%d%% complete,abount %d minute %d second need...", p,
                  static_cast<int>(minutes), static_cast<int>(seconds));
  } else if (minutes > 0) {
    std::snprintf(text, sizeof text, "%d%% complete,abount %d minute need...", p,
                  static_cast<int>(minutes));
  } else if (seconds > 0) {
    std::snprintf(text, sizeof text, "%d%% complete,abount %d seconds need ...", p,
                  static_cast<int>(seconds));
  } else {
    std::snprintf(text, sizeof text, "%d%% complete,abount 0 seconds need ...", p);
  }
  return text;
}

void ProgressReporter::ProgressStep() {
  PublishPercent(state_, progress_);
  if (state_.blocks_done < state_.blocks_total) ++state_.blocks_done;
}

void ProgressReporter::TimeStep() {
  // Each 16 KiB of the write stream is budgeted at 512 ms.
  SpendRemainingTime(progress_, 512);
  progress_.RemainingTimeChanged(progress_.remaining_time_ms);
  progress_.SetStatusText(std::string(text::kUpdatePrefix) +
                          RemainingTimeText(progress_.percent.load(), progress_.remaining_time_ms));
}

}  // namespace qv
