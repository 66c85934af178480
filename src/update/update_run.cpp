#include "update/update_run.h"

#include "device/device_commands.h"
#include "package/package_checks.h"
#include "package/package_header.h"
#include "update/area_programming.h"
#include "update/bookkeeping_blocks.h"
#include "update/progress_state.h"
#include "update/update_texts.h"
#include "update/version_check.h"

namespace qv {
namespace {

constexpr uint32_t kSettleAfterResetMs = 2000;
constexpr int kReconnectAttempts = 150;
constexpr uint32_t kReconnectIntervalMs = 100;
constexpr uint32_t kSettleAfterReconnectMs = 1000;

// After the reset the device leaves the bus and comes back in its update mode.
bool Reconnect(HidLink& link, Clock& clock) {
  for (int attempt = 1; attempt <= kReconnectAttempts; ++attempt) {
    const bool found = link.Discover() != 0;
    clock.SleepMs(kReconnectIntervalMs);
    if (found) {
      // A device found at the last attempt counts as found, like at any other.
      clock.SleepMs(kSettleAfterReconnectMs);
      return true;
    }
  }
  clock.SleepMs(kSettleAfterReconnectMs);
  return false;
}

// Erases one sector and writes one page from the block, reporting through the same hooks as
// the areas. nullptr on success, else the text of the step that failed.
const char* WriteBlock(HidLink& link, const BlockBuffer& block, uint32_t sector, uint32_t page,
                       WriteHooks& hooks, const char* erase_failed, const char* write_failed) {
  if (EraseCommand(link, sector, 1) == 0) return erase_failed;
  if (WriteCommand(link, block.data(), page, 1, hooks) == 0) return write_failed;
  return nullptr;
}

// The check-code and info blocks. Their writes carry the run's last progress steps, which
// bring the bar to its end once every KiB of the package has been counted. nullptr on
// success, else the failure text.
const char* WriteBookkeepingBlocks(UpdateEnvironment& env, const AreaResults& results,
                                   ProgressState& state, ProgressContext& progress) {
  ProgressReporter reporter(state, progress);
  BlockBuffer block;
  env.random.Seed(env.clock.TickMs());
  BuildCheckCodeBlock(results, env.random, block);
  if (const char* failure =
          WriteBlock(env.link, block, kCheckCodeSector, kCheckCodePage, reporter,
                     text::kEraseCheckCodeFailed, text::kWriteCheckCodeFailed)) {
    return failure;
  }
  const uint32_t sound_address = ReadAreaDescriptor(env.store.header_copy, kSoundArea).address;
  const uint32_t map_address = ReadAreaDescriptor(env.store.header_copy, kMapArea).address;
  env.random.Seed(env.clock.TickMs());
  BuildInfoBlock(results, sound_address, map_address, env.random, block);
  return WriteBlock(env.link, block, kInfoSector, kInfoPage, reporter, text::kEraseInfoFailed,
                    text::kWriteInfoFailed);
}

// Everything after the query up to the over command; nullptr on success, else the text to show
// (an empty text: the failure has already been shown).
const char* ResetAndProgram(UpdateEnvironment& env, ProgressContext& progress) {
  const int reset = ResetCommand(env.link);
  env.link.Release();
  if (reset == 0) return text::kResetFailed;
  progress.SetStatusText(text::kPleaseWait);
  env.clock.SleepMs(kSettleAfterResetMs);
  if (!Reconnect(env.link, env.clock)) return text::kReconnectFailed;

  ProgressState state;
  AreaResults results;
  if (ProgramAreas(env.link, env.store, env.dialogs, progress, state, results) != 0) {
    progress.SetStatusText(text::kTryAgain);
    return "";
  }
  if (const char* failure = WriteBookkeepingBlocks(env, results, state, progress)) {
    return failure;
  }
  if (!env.continuous_mode && OverCommand(env.link) != 0) return text::kOverFailed;
  return nullptr;
}

// The package checks of the area programming, with their messages, run before the device is
// touched: a damaged package must not reset a device it can never program. They run again, as
// always, once the device is in update mode.
bool PackageFitForDevice(PackageStore& store, Dialogs& dialogs) {
  if (ValidatePackage(store, dialogs) != 0) return false;
  AreaResults unused;
  ComputeAreaSums(store, unused);
  return VerifyCheckBytes(store, dialogs) == 0;
}

}  // namespace

RunResult RunUpdate(UpdateEnvironment& env, ProgressContext& progress) {
  if (!PackageFitForDevice(env.store, env.dialogs)) return RunResult::kFailed;
  // Held through the reset, when the device mutex is let go, so that no other updater
  // process takes the device while it comes back.
  const RunLockHold run_lock(env.link.run_lock());
  env.link.Discover();
  if (QueryAndCheckVersion(env.link, env.store.version_record.data(), env.dialogs, progress,
                           env.answer) ==
      QueryOutcome::kDeclined) {
    env.link.Release();
    return RunResult::kDeclined;
  }
  const char* failure = ResetAndProgram(env, progress);
  if (failure != nullptr && *failure != '\0') env.dialogs.ShowMessage(failure);
  env.link.Release();
  return failure == nullptr ? RunResult::kSucceeded : RunResult::kFailed;
}

}  // namespace qv
