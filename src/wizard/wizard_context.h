#pragma once

#include <cstdint>
#include <functional>

#include "device/hid_link.h"
#include "package/package_store.h"
#include "platform/clock.h"
#include "platform/device_access_advice.h"
#include "platform/dialogs.h"
#include "platform/random.h"
#include "update/device_poll.h"
#include "update/progress_context.h"
#include "update/update_run.h"

namespace qv {

// What a progress page's worker runs: RunUpdate in the product, a script in tests.
using RunFunction = std::function<RunResult(UpdateEnvironment&, ProgressContext&)>;

// The progress page's timer periods.
struct PageTimings {
  // How often a finished run's page checks that the run's end has been handled.
  int done_check_ms = 500;
  // Continuous mode's device poll.
  int poll_ms = static_cast<int>(DevicePoll::kPollIntervalMs);
};

// How a page ended; the value is the page's dialog result.
enum PageOutcome : int {
  kPageNotShown = -1,  // the toolkit could not show the page
  kPageEnded = 0,      // Cancel, Quit, Escape or the close box
  kPageNext = 1,       // Next, or Start with a device taken
  kPageHandOver = 2,   // a new progress page is to run
  kPageDeclined = 3,   // the user declined to re-install the same version
};

// Everything the pages share for one program run. Used on the user-interface thread, except
// the link, the store and the dialogs, which a progress page's worker uses during its run.
struct WizardContext {
  HidLink& link;
  PackageStore& store;
  Dialogs& dialogs;
  Clock& clock;
  Random& random;
  RunFunction run;
  PageTimings timings = {};
  DevicePoll poll = DevicePoll();  // continuous mode's memory, shared by every progress page
  int32_t continuous_mode = 0;  // set only by the start page's checkbox
  // Where the udev rule is looked for when a device is attached but may not be opened.
  DeviceRuleLookup device_rules = {};
};

}  // namespace qv
