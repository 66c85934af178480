#include "winui/wizard_app.h"

#include "winui/progress_page.h"
#include "winui/start_page.h"
#include "winui/welcome_page.h"

namespace qv::winui {

WizardApp::WizardApp(HINSTANCE instance, HidBus& bus, NamedMutexSystem& mutexes, Clock& clock,
                     Random& random)
    : link_(bus, mutexes, clock),
      context_{instance, link_, store_, dialogs_, clock, random, DevicePoll{}, 0} {}

WizardApp::~WizardApp() {
  link_.Release();
  store_.Release();
}

int WizardApp::Finish(int status) {
  link_.Release();
  store_.Release();
  return status;
}

int WizardApp::Run(const PackagePaths& paths) {
  // Loaded before the welcome page is created: a package that cannot be loaded ends the program
  // after its message, and no page is ever shown.
  if (!LoadPackage(store_, paths, dialogs_, context_.random, context_.clock)) return Finish(1);
  {
    WelcomePage welcome(context_);
    const INT_PTR outcome = welcome.Run();
    if (outcome < 0) return Finish(1);
    if (outcome != kPageNext) return Finish(0);
  }
  {
    StartPage start(context_);
    const INT_PTR outcome = start.Run();
    if (outcome < 0) return Finish(1);
    if (outcome != kPageNext) return Finish(0);
  }
  return RunProgressPages();
}

int WizardApp::RunProgressPages() {
  for (;;) {
    INT_PTR outcome = kPageEnded;
    bool declined = false;
    {
      ProgressPage page(context_);
      outcome = page.Run();
      declined = page.run_declined();
    }
    // A declined re-install ends with status 1 however the page came to its end.
    if (declined || outcome < 0) return Finish(1);
    if (outcome != kPageHandOver) return Finish(0);
  }
}

}  // namespace qv::winui
