#pragma once

#include <cstdint>

#include "package/package_load.h"
#include "platform/device_access_advice.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "ui/sound_player.h"
#include "wizard/wizard.h"

namespace qv {

// What the application is built from; main() passes the system's, tests pass doubles.
struct UpdateAppDependencies {
  HidBus& bus;
  NamedMutexSystem& mutexes;
  Clock& clock;
  Random& random;
  Dialogs& dialogs;
  SoundPlayer& sound;
  RunFunction run;
  PackagePaths paths;
  PageTimings timings;
  // Where the udev rule is looked for (none: the rule counts as not installed).
  DeviceRuleLookup device_rules{};
  // The keys the package must be signed with (none: no signature is required).
  SignatureRequirement signature{};
};

// The Qt wizard: the wizard core with Qt pages.
class UpdateApp final : private WizardPages {
 public:
  explicit UpdateApp(const UpdateAppDependencies& dependencies);

  // Runs the whole wizard; returns the process exit status (0, or 1 after a package that
  // cannot be loaded or a declined re-install).
  [[nodiscard]] int Run() { return wizard_.Run(paths_); }

  [[nodiscard]] int32_t ContinuousMode() const { return wizard_.context().continuous_mode; }
  [[nodiscard]] const PackageStore& store() const { return wizard_.store(); }
  [[nodiscard]] DevicePoll::Counters poll_counters() const {
    return wizard_.context().poll.counters();
  }
  // Progress pages opened so far.
  [[nodiscard]] uint64_t progress_pages() const { return wizard_.progress_pages(); }

 private:
  PageOutcome ShowWelcomePage(const std::string& information_text) override;
  PageOutcome ShowStartPage() override;
  PageOutcome ShowProgressPage() override;

  PackagePaths paths_;
  SoundPlayer& sound_;
  Wizard wizard_;
};

}  // namespace qv
