#pragma once

#include <string_view>

#include "wizard/wizard_context.h"

namespace qv {

// The progress page's two timers.
enum class PageTimer { kDoneCheck = 1, kPoll = 2 };

// What a progress page shows, as a toolkit draws it. Called on the user-interface thread only.
class ProgressView {
 public:
  virtual ~ProgressView() = default;

  virtual void ShowStatusText(std::string_view text) = 0;
  virtual void ShowPercent(int percent) = 0;
  // The next-device prompt line under the status line.
  virtual void ShowNextDevicePrompt(std::string_view text) = 0;
  virtual void ShowOtherDevice(bool shown) = 0;
  virtual void EnableOtherDevice(bool enabled) = 0;
  virtual void EnableQuit(bool enabled) = 0;
  // Moves the keyboard focus (and with it the default button) to the button.
  virtual void FocusQuit() = 0;
  virtual void FocusOtherDevice() = 0;
  virtual void PlaySuccessSound() = 0;
  virtual void StartTimer(PageTimer timer, int interval_ms) = 0;
  virtual void StopTimer(PageTimer timer) = 0;
  // A message box owned by the page; returns once it is closed.
  virtual void ShowMessage(std::string_view text) = 0;
  // Ends the page's modal run with this outcome.
  virtual void End(PageOutcome outcome) = 0;
};

}  // namespace qv
