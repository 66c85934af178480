#include "ui/update_app.h"

#include "ui/page_appearance.h"
#include "ui/progress_page.h"
#include "ui/start_page.h"
#include "ui/welcome_page.h"

namespace qv {

UpdateApp::UpdateApp(const UpdateAppDependencies& dependencies)
    : paths_(dependencies.paths),
      sound_(dependencies.sound),
      wizard_(WizardParts{.bus = dependencies.bus,
                          .mutexes = dependencies.mutexes,
                          .clock = dependencies.clock,
                          .random = dependencies.random,
                          .dialogs = dependencies.dialogs,
                          .run = dependencies.run,
                          .timings = dependencies.timings,
                          .device_rules = dependencies.device_rules,
                          .signature = dependencies.signature},
              *this) {
  EnsureUiResources();
}

PageOutcome UpdateApp::ShowWelcomePage(const std::string& information_text) {
  WelcomePage page(information_text);
  return static_cast<PageOutcome>(page.exec());
}

PageOutcome UpdateApp::ShowStartPage() {
  StartPage page(wizard_);
  return static_cast<PageOutcome>(page.exec());
}

PageOutcome UpdateApp::ShowProgressPage() {
  // Destroyed (its worker joined) before the next page is created.
  ProgressPage page(wizard_.context(), sound_);
  const auto outcome = static_cast<PageOutcome>(page.exec());
  return page.run_declined() ? kPageDeclined : outcome;
}

}  // namespace qv
