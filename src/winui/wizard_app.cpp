#include "winui/wizard_app.h"

#include "platform/device_access_advice.h"
#include "update/update_run.h"
#include "winui/progress_page.h"
#include "winui/start_page.h"
#include "winui/welcome_page.h"

namespace qv::winui {
namespace {

// A page's dialog result: its PageOutcome, or -1 when the page could not be created.
PageOutcome OutcomeOf(INT_PTR result) {
  return result < 0 ? kPageNotShown : static_cast<PageOutcome>(result);
}

}  // namespace

WizardApp::WizardApp(HINSTANCE instance, HidBus& bus, NamedMutexSystem& mutexes, Clock& clock,
                     Random& random, const SignatureRequirement& signature)
    : instance_(instance),
      wizard_(WizardParts{.bus = bus,
                          .mutexes = mutexes,
                          .clock = clock,
                          .random = random,
                          .dialogs = dialogs_,
                          .run = [](UpdateEnvironment& env,
                                    ProgressContext& progress) { return RunUpdate(env, progress); },
                          .timings = {},
                          .device_rules = {},
                          .signature = signature},
              *this) {}

PageOutcome WizardApp::ShowWelcomePage(const std::string& information_text) {
  WelcomePage page(instance_, dialogs_, information_text);
  return OutcomeOf(page.Run());
}

PageOutcome WizardApp::ShowStartPage() {
  StartPage page(instance_, dialogs_, wizard_);
  return OutcomeOf(page.Run());
}

PageOutcome WizardApp::ShowProgressPage() {
  ProgressPage page(instance_, dialogs_, wizard_.context());
  const PageOutcome outcome = OutcomeOf(page.Run());
  return page.run_declined() ? kPageDeclined : outcome;
}

}  // namespace qv::winui
