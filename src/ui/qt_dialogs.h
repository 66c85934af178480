#pragma once

#include <QString>

#include "platform/dialogs.h"

namespace qv {

// The executable's file name without its extension: the caption of every message box.
[[nodiscard]] QString MessageCaption();

// Message boxes of the wizard. Safe to call from the worker thread: the box is shown on the
// user-interface thread and the caller waits for the answer there.
class QtDialogs final : public Dialogs {
 public:
  // One OK button, no icon, modal to the active page.
  void ShowMessage(std::string_view text) override;
  // Yes and No, the exclamation icon, kept on top of the pages.
  [[nodiscard]] bool AskYesNo(std::string_view text) override;
};

}  // namespace qv
