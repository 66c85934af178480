#pragma once

#include <windows.h>

#include "wizard/wizard.h"
#include "winui/wizard_dialogs.h"

namespace qv::winui {

// The Windows wizard: the wizard core with the pages as dialog templates. Each page has ended
// (a progress page's worker joined) before the next one is created.
class WizardApp final : private WizardPages {
 public:
  WizardApp(HINSTANCE instance, HidBus& bus, NamedMutexSystem& mutexes, Clock& clock,
            Random& random, const SignatureRequirement& signature);

  // Runs the whole wizard on the package at `paths`; returns the process exit status (0, or 1
  // after a package that cannot be loaded, a declined re-install or a page that could not be
  // shown).
  [[nodiscard]] int Run(const PackagePaths& paths) { return wizard_.Run(paths); }

 private:
  PageOutcome ShowWelcomePage(const std::string& information_text) override;
  PageOutcome ShowStartPage() override;
  PageOutcome ShowProgressPage() override;

  HINSTANCE instance_;
  WizardDialogs dialogs_;
  Wizard wizard_;
};

}  // namespace qv::winui
