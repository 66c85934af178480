#pragma once

#include <cstdint>

#include "device/hid_link.h"
#include "package/package_load.h"
#include "package/package_store.h"
#include "platform/device_access_advice.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "ui/wizard_context.h"

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
};

// The application: owns the package store and ContinuousMode, then the device link (so the
// link goes first at the end and releases any device it still holds). Run() shows the pages one
// after another, never one inside another, so continuous mode grows nothing per device.
class UpdateApp {
 public:
  explicit UpdateApp(const UpdateAppDependencies& dependencies);
  ~UpdateApp();
  UpdateApp(const UpdateApp&) = delete;
  UpdateApp& operator=(const UpdateApp&) = delete;

  // Runs the whole wizard; returns the process exit status (0, or 1 after a package that
  // cannot be loaded or a declined re-install).
  [[nodiscard]] int Run();

  [[nodiscard]] int32_t ContinuousMode() const { return context_.continuous_mode; }
  [[nodiscard]] const PackageStore& store() const { return store_; }
  // A consistent copy of continuous mode's poll counters; safe while a worker polls.
  [[nodiscard]] DevicePoll::Counters poll_counters() const { return context_.poll.counters(); }
  // Progress pages opened so far.
  [[nodiscard]] uint64_t progress_pages() const { return progress_pages_; }

 private:
  [[nodiscard]] int Finish(int status);
  [[nodiscard]] int RunProgressPages();

  PackagePaths paths_;
  PackageStore store_;
  HidLink link_;
  WizardContext context_;
  uint64_t progress_pages_ = 0;
};

}  // namespace qv
