#include "update/update_run.h"

#include <optional>
#include <utility>

#include "device/device_commands.h"
#include "device/device_identity.h"
#include "device/device_timings.h"
#include "package/package_header.h"
#include "update/area_programming.h"
#include "update/bookkeeping_blocks.h"
#include "update/checked_package.h"
#include "update/progress_state.h"
#include "update/update_texts.h"
#include "update/version_check.h"

namespace qv {
namespace {

// Shows a failure's message, and hands it to the caller that asked for it.
void ShowFailure(UpdateEnvironment& env, const std::string& message) {
  if (message.empty()) return;
  env.dialogs.ShowMessage(message);
  if (env.failure_message != nullptr) *env.failure_message = message;
}

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
// the areas; the failing step's text on failure.
Result<> WriteBlock(HidLink& link, const BlockBuffer& block, uint32_t sector, uint32_t page,
                    WriteHooks& hooks, const char* erase_failed, const char* write_failed) {
  if (!EraseCommand(link, sector, 1)) return Failure{erase_failed};
  if (!WriteCommand(link, block.data(), page, 1, hooks)) return Failure{write_failed};
  return {};
}

// The check-code and info blocks. Their writes carry the run's last progress steps, which
// bring the bar to its end once every KiB of the package has been counted.
Result<> WriteBookkeepingBlocks(UpdateEnvironment& env, const AreaResults& results,
                                ProgressState& state, ProgressContext& progress) {
  ProgressReporter reporter(state, progress);
  BlockBuffer block;
  env.random.Seed(env.clock.TickMs());
  BuildCheckCodeBlock(results, env.random, block);
  if (Result<> written = WriteBlock(env.link, block, kCheckCodeSector, kCheckCodePage, reporter,
                                    text::kEraseCheckCodeFailed, text::kWriteCheckCodeFailed);
      !written) {
    return written;
  }
  const uint32_t sound_address = ReadAreaDescriptor(env.store.header_copy, kSoundArea).address;
  const uint32_t map_address = ReadAreaDescriptor(env.store.header_copy, kMapArea).address;
  env.random.Seed(env.clock.TickMs());
  BuildInfoBlock(results, sound_address, map_address, env.random, block);
  return WriteBlock(env.link, block, kInfoSector, kInfoPage, reporter, text::kEraseInfoFailed,
                    text::kWriteInfoFailed);
}

// Everything after the query up to the over command. A failure's message is shown here, as the
// step fails (a failed set-layout has none); false on failure.
bool ResetAndProgram(UpdateEnvironment& env, const CheckedPackage& package,
                     ProgressContext& progress) {
  const auto fail = [&env](const std::string& message) {
    ShowFailure(env, message);
    return false;
  };
  const bool reset = ResetCommand(env.link);
  env.link.Release();
  if (!reset) return fail(text::kResetFailed);
  progress.SetStatusText(text::kPleaseWait);
  env.clock.SleepMs(kSettleAfterResetMs);
  if (!Reconnect(env.link, env.clock)) {
    // Another device with the same identity came meanwhile: say why, not "connect the cable".
    return fail(env.link.LastFoundIndistinct() ? kIndistinctDevicesText : text::kReconnectFailed);
  }
  if (env.devices != nullptr) env.devices->after_reset = env.link.TakenInterface();

  ProgressState state;
  if (Result<> areas = ProgramAreas(env.link, package, env.store.data_length, progress, state);
      !areas) {
    fail(areas.failure().message);
    progress.SetStatusText(text::kTryAgain);
    return false;
  }
  if (Result<> blocks = WriteBookkeepingBlocks(env, package.sums, state, progress); !blocks) {
    return fail(blocks.failure().message);
  }
  if (!env.continuous_mode && !OverCommand(env.link)) return fail(text::kOverFailed);
  return true;
}

// Keeps the link to one device for the length of a run; afterwards it keeps to what it kept to
// before (nothing, in the wizard).
class KeptToDevice {
 public:
  KeptToDevice(HidLink& link, std::optional<DeviceIdentity> identity)
      : link_(link), before_(link.KeptTo()) {
    link_.KeepToDevice(std::move(identity));
  }
  ~KeptToDevice() { link_.KeepToDevice(before_); }
  KeptToDevice(const KeptToDevice&) = delete;
  KeptToDevice& operator=(const KeptToDevice&) = delete;

 private:
  HidLink& link_;
  std::optional<DeviceIdentity> before_;
};

// From the first discovery to the over command. The device reset is the one taken here; after
// the reset the device in its port is taken again (where no port is known, the one with its
// serial number), whatever it now reports.
RunResult DiscoverAndUpdate(UpdateEnvironment& env, const CheckedPackage& package,
                            ProgressContext& progress) {
  env.link.Discover();
  if (env.link.LastFoundIndistinct()) {
    // Nothing has been sent: after a reset the run could not tell which device to write.
    ShowFailure(env, kIndistinctDevicesText);
    return RunResult::kFailed;
  }
  if (env.devices != nullptr) env.devices->first = env.link.TakenInterface();
  // What the caller kept the link to wins: it may name the interface to take.
  std::optional<DeviceIdentity> identity = env.link.KeptTo();
  if (!identity) identity = env.link.TakenIdentity();
  const KeptToDevice kept(env.link, identity);
  if (QueryAndCheckVersion(env.link, env.store.version_record.data(), env.dialogs, progress,
                           env.answer) == QueryOutcome::kDeclined) {
    return RunResult::kDeclined;
  }
  return ResetAndProgram(env, package, progress) ? RunResult::kSucceeded : RunResult::kFailed;
}

}  // namespace

RunResult RunUpdate(UpdateEnvironment& env, ProgressContext& progress) {
  RunResult result = RunResult::kFailed;
  // Every refusal of the package comes before the device is touched: a package that can never
  // be written must not reset a device.
  const Result<CheckedPackage> package = CheckPackage(env.store);
  if (!package) {
    ShowFailure(env, package.failure().message);
  } else {
    // Held through the reset, when the device mutex is let go, so that no other updater
    // process takes the device while it comes back.
    const RunLockHold run_lock(env.link.run_lock());
    result = DiscoverAndUpdate(env, *package, progress);
  }
  // On every path, also for a refused package: a device taken before the run (the wizard's
  // Start takes one) must not stay held from every other updater.
  env.link.Release();
  return result;
}

}  // namespace qv
