#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/dialogs.h"
#include "update/progress_context.h"

namespace qv::cli {

// Shows an update run on the terminal. On a terminal: one live line with a bar, the percent and
// the run's status text, redrawn in place. Otherwise: each new status text as a plain line, and
// the percent whenever it passes another tenth, so logs stay short and readable.
class TerminalProgress final : public ProgressContext {
 public:
  explicit TerminalProgress(std::FILE* out = stdout);
  TerminalProgress(bool live, std::FILE* out) : out_(out), live_(live) {}
  ~TerminalProgress() override { EndLine(); }

  void SetStatusText(std::string_view text) override;
  void PostProgressMessage() override;
  void SetFlashText(std::string_view text) override;

  // Finishes the live line so that other output starts on a fresh line.
  void EndLine();
  // Starts over for the next device.
  void Reset();

 private:
  void Redraw();

  std::FILE* out_;
  bool live_;
  bool line_open_ = false;
  std::string status_;
  uint32_t shown_percent_ = 0;
  uint32_t logged_tenth_ = 0;
};

// Dialogs that finish the progress line before a message or question reaches the terminal.
class ProgressAwareDialogs final : public Dialogs {
 public:
  ProgressAwareDialogs(Dialogs& inner, TerminalProgress& progress)
      : inner_(inner), progress_(progress) {}
  void ShowMessage(std::string_view text) override {
    progress_.EndLine();
    inner_.ShowMessage(text);
  }
  [[nodiscard]] bool AskYesNo(std::string_view text) override {
    progress_.EndLine();
    return inner_.AskYesNo(text);
  }

 private:
  Dialogs& inner_;
  TerminalProgress& progress_;
};

}  // namespace qv::cli
