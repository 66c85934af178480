#include "ui/update_app.h"

#include <memory>

#include "ui/page_appearance.h"
#include "ui/progress_page.h"
#include "ui/start_page.h"
#include "ui/welcome_page.h"

namespace qv {

UpdateApp::UpdateApp(const UpdateAppDependencies& dependencies)
    : paths_(dependencies.paths),
      link_(dependencies.bus, dependencies.mutexes, dependencies.clock),
      context_{link_,
               store_,
               dependencies.dialogs,
               dependencies.clock,
               dependencies.random,
               dependencies.sound,
               dependencies.run,
               dependencies.timings,
               {},
               0,
               dependencies.device_rules} {
  EnsureUiResources();
}

UpdateApp::~UpdateApp() {
  link_.Release();
  store_.Release();
}

int UpdateApp::Finish(int status) {
  link_.Release();
  store_.Release();
  return status;
}

int UpdateApp::Run() {
  {
    WelcomePage welcome(context_);
    if (!welcome.LoadAndShowPackage(paths_)) return Finish(1);
    if (welcome.exec() != kPageNext) return Finish(0);
  }
  {
    StartPage start(context_);
    if (start.exec() != kPageNext) return Finish(0);
  }
  return RunProgressPages();
}

int UpdateApp::RunProgressPages() {
  for (;;) {
    int outcome = kPageEnded;
    bool declined = false;
    {
      // The old page is destroyed (its worker joined) before the next one is created.
      ProgressPage page(context_);
      ++progress_pages_;
      outcome = page.exec();
      declined = page.run_declined();
    }
    // A declined re-install ends with status 1 however the page came to its end.
    if (declined) return Finish(1);
    if (outcome == kPageHandOver) continue;
    return Finish(0);
  }
}

}  // namespace qv
