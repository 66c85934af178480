#pragma once

#include <cstdint>
#include <string>

#include "device/hid_link.h"
#include "package/package_load.h"
#include "package/package_store.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "wizard/approved_package.h"
#include "wizard/wizard_context.h"

namespace qv {

// The pages as a toolkit shows them, each modally, one after another; each returns how it
// ended. A progress page builds a ProgressPresenter over the wizard's context and returns
// kPageDeclined when its run was declined, however the page itself ended.
class WizardPages {
 public:
  virtual ~WizardPages() = default;
  // The package's information text, as InformationTextForDisplay gives it, in the text box.
  virtual PageOutcome ShowWelcomePage(const std::string& information_text) = 0;
  // Start calls Wizard::TakeDevice, the checkbox Wizard::SetContinuousMode.
  virtual PageOutcome ShowStartPage() = 0;
  virtual PageOutcome ShowProgressPage() = 0;
};

// What the wizard is built from; the programs pass the system's, tests pass doubles.
struct WizardParts {
  HidBus& bus;
  NamedMutexSystem& mutexes;
  Clock& clock;
  Random& random;
  Dialogs& dialogs;
  RunFunction run;
  PageTimings timings = {};
  // Where the udev rule is looked for (none: the rule counts as not installed).
  DeviceRuleLookup device_rules = {};
  // The keys the package must be signed with (none: no signature is required).
  SignatureRequirement signature = {};
};

// The wizard: owns the package store, then the device link (so the link goes first at the end
// and releases any device it still holds). Run() loads the package and shows the pages one after
// another, never one inside another, so continuous mode grows nothing per device.
class Wizard {
 public:
  Wizard(const WizardParts& parts, WizardPages& pages);
  ~Wizard();
  Wizard(const Wizard&) = delete;
  Wizard& operator=(const Wizard&) = delete;

  // Runs the whole wizard on the package at `paths`; returns the process exit status: 0, or 1
  // after a package that cannot be loaded or is not approved by a required signature, a
  // declined re-install or a page that could not be shown.
  [[nodiscard]] int Run(const PackagePaths& paths);

  // The start page's Start: discovery; without a device the no-device message. True when a
  // device was taken and the page is to end.
  [[nodiscard]] bool TakeDevice();
  // The start page's checkbox.
  void SetContinuousMode(bool on) { context_.continuous_mode = on ? 1 : 0; }

  [[nodiscard]] WizardContext& context() { return context_; }
  [[nodiscard]] const WizardContext& context() const { return context_; }
  [[nodiscard]] const PackageStore& store() const { return store_; }
  // Progress pages opened so far.
  [[nodiscard]] uint64_t progress_pages() const { return progress_pages_; }

 private:
  [[nodiscard]] int Finish(int status);
  [[nodiscard]] int RunProgressPages();

  [[nodiscard]] bool Load(const PackagePaths& paths);

  WizardPages& pages_;
  SignatureRequirement signature_;
  PackageStore store_;
  HidLink link_;
  WizardContext context_;
  uint64_t progress_pages_ = 0;
};

}  // namespace qv
