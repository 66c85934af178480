#pragma once

#include <windows.h>

#include <cstdint>

#include "device/hid_link.h"
#include "package/package_store.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "update/device_poll.h"
#include "winui/wizard_dialogs.h"

namespace qv::winui {

// How a page ended; the value is the page's dialog result.
enum PageOutcome : int {
  kPageEnded = 0,     // Cancel, Quit, Escape or the close box
  kPageNext = 1,      // Next, or Start with a device taken
  kPageHandOver = 2,  // a new progress page is to run
  kPageDeclined = 3,  // the user declined to re-install the same version
};

// Everything the pages share for one program run.
struct WizardContext {
  HINSTANCE instance;
  HidLink& link;
  const PackageStore& store;
  WizardDialogs& dialogs;
  Clock& clock;
  Random& random;
  // Continuous mode's memory between polls, shared by every progress page; used only by the
  // user-interface thread.
  DevicePoll poll;
  int32_t continuous_mode = 0;  // set only by the start page's checkbox
};

}  // namespace qv::winui
