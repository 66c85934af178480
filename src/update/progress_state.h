#pragma once

#include <cstdint>
#include <string>

#include "device/device_commands.h"
#include "update/progress_context.h"

namespace qv {

// The bar's counters for one run: where the bar starts and how many 1 KiB steps of the
// package have been reported so far.
struct ProgressState {
  uint8_t base_percent = 0;
  uint32_t blocks_done = 0;
  uint32_t blocks_total = 0;
};

// base + (100 - base) * done / total, truncating. A package with less than 1 KiB after its
// header has no blocks at all; its bar stays at the base.
[[nodiscard]] uint32_t ComputePercent(const ProgressState& state);

// 10 with all three areas, 20 with two, 30 with the program area alone.
[[nodiscard]] uint8_t BasePercent(bool sound_present, bool map_present);

// The remaining-time budget in milliseconds for a package of `blocks_total` KiB: 32 ms per KiB
// written and 34 ms per 4 KiB sector erased, plus 4 s.
[[nodiscard]] uint32_t InitialTimeBudgetMs(uint32_t blocks_total);

// Stores the current percentage in the context and posts the progress message.
void PublishPercent(const ProgressState& state, ProgressContext& progress);

// Lowers the remaining-time budget, stopping at 0.
void SpendRemainingTime(ProgressContext& progress, uint32_t ms);

// "P% complete,abount ..." for the given percent and remaining milliseconds.
[[nodiscard]] std::string RemainingTimeText(uint32_t percent, uint32_t remaining_ms);

// The write command's hooks: one progress step per KiB sent, one time step per 16 KiB.
class ProgressReporter final : public WriteHooks {
 public:
  ProgressReporter(ProgressState& state, ProgressContext& progress)
      : state_(state), progress_(progress) {}
  void ProgressStep() override;
  void TimeStep() override;

 private:
  ProgressState& state_;
  ProgressContext& progress_;
};

}  // namespace qv
