#include "wizard/wizard.h"

#include "wizard/no_device_message.h"
#include "wizard/readme_text.h"

namespace qv {

Wizard::Wizard(const WizardParts& parts, WizardPages& pages)
    : pages_(pages),
      signature_(parts.signature),
      link_(parts.bus, parts.mutexes, parts.clock),
      context_{.link = link_,
               .store = store_,
               .dialogs = parts.dialogs,
               .clock = parts.clock,
               .random = parts.random,
               .run = parts.run,
               .timings = parts.timings,
               .poll = DevicePoll(),
               .continuous_mode = 0,
               .device_rules = parts.device_rules} {}

Wizard::~Wizard() {
  link_.Release();
  store_.Release();
}

int Wizard::Finish(int status) {
  link_.Release();
  store_.Release();
  return status;
}

int Wizard::Run(const PackagePaths& paths) {
  // Loaded before the welcome page is shown: a package that cannot be loaded, or that a
  // required signature does not approve, ends the program after its message, and no page is
  // ever shown.
  if (!Load(paths)) return Finish(1);
  const PageOutcome welcome =
      pages_.ShowWelcomePage(InformationTextForDisplay(store_.information_text));
  if (welcome == kPageNotShown) return Finish(1);
  if (welcome != kPageNext) return Finish(0);
  const PageOutcome start = pages_.ShowStartPage();
  if (start == kPageNotShown) return Finish(1);
  if (start != kPageNext) return Finish(0);
  return RunProgressPages();
}

bool Wizard::Load(const PackagePaths& paths) {
  Result<std::vector<signature::PublicKey>> keys = RequiredKeys(signature_);
  if (!keys) {
    const Failure& failure = keys.failure();
    context_.dialogs.ShowMessage(failure.detail.empty() ? failure.message
                                                        : failure.message + "\n" + failure.detail);
    return false;
  }
  if (keys->empty()) {
    return LoadPackage(store_, paths, context_.dialogs, context_.random, context_.clock);
  }
  return LoadApprovedPackage(store_, paths, std::move(*keys), context_.dialogs, context_.random,
                             context_.clock);
}

int Wizard::RunProgressPages() {
  for (;;) {
    // The old page has ended (its worker joined) before the next one is shown.
    ++progress_pages_;
    const PageOutcome outcome = pages_.ShowProgressPage();
    // A declined re-install ends with status 1 however the page came to its end.
    if (outcome == kPageDeclined || outcome == kPageNotShown) return Finish(1);
    if (outcome != kPageHandOver) return Finish(0);
  }
}

bool Wizard::TakeDevice() {
  if (link_.Discover() == 0) {
    context_.dialogs.ShowMessage(NoDeviceMessage(link_, context_.device_rules));
    return false;
  }
  return true;
}

}  // namespace qv
