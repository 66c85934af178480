#pragma once

#include <windows.h>

#include <cstdint>

#include "device/hid_link.h"
#include "package/package_load.h"
#include "package/package_store.h"
#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "winui/wizard_context.h"
#include "winui/wizard_dialogs.h"

namespace qv::winui {

// The application: owns the package store, then the device link (so the link goes first at the
// end and releases any device it still holds). Run() shows the pages one after another, never
// one inside another, so continuous mode grows nothing per device: each progress page has ended
// (its worker joined) before the next one is created.
class WizardApp {
 public:
  WizardApp(HINSTANCE instance, HidBus& bus, NamedMutexSystem& mutexes, Clock& clock,
            Random& random);
  ~WizardApp();
  WizardApp(const WizardApp&) = delete;
  WizardApp& operator=(const WizardApp&) = delete;

  // Runs the whole wizard on the package at `paths`; returns the process exit status (0, or 1
  // after a package that cannot be loaded, a declined re-install or a page that could not be
  // shown).
  [[nodiscard]] int Run(const PackagePaths& paths);

 private:
  [[nodiscard]] int Finish(int status);
  [[nodiscard]] int RunProgressPages();

  PackageStore store_;
  HidLink link_;
  WizardDialogs dialogs_;
  WizardContext context_;
};

}  // namespace qv::winui
