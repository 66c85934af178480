#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

namespace qv {

// What the update procedure reports through: the progress page in the wizard, a progress bar in
// the command-line tool, a recorder in tests. Called from the thread that runs the update.
class ProgressContext {
 public:
  virtual ~ProgressContext() = default;
  // The status line; returns once the text is shown.
  virtual void SetStatusText(std::string_view text) = 0;
  // The progress message: posted, never waited for; the receiver reads percent when it handles
  // the message.
  virtual void PostProgressMessage() = 0;
  // "Flash:" followed by the flash chip's model code.
  virtual void SetFlashText(std::string_view text) = 0;
  // The area whose erase and write begin now: "map", "sound" or "program". For front ends that
  // tell which area is being written (and which one failed); the wizard shows none.
  virtual void AreaStarted(std::string_view /*area*/) {}
  // A new remaining time, as a value, just before the status text that shows it. For front ends
  // that draw it themselves; the wizard shows the text.
  virtual void RemainingTimeChanged(uint32_t /*ms*/) {}

  // Last computed percentage, 0..100, written before every PostProgressMessage.
  std::atomic<uint32_t> percent{0};
  // Remaining-time budget in milliseconds; never wraps below 0.
  uint32_t remaining_time_ms = 0;
};

}  // namespace qv
