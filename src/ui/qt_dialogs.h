#pragma once

#include <QMessageBox>
#include <QString>
#include <memory>

#include "platform/dialogs.h"

namespace qv {

// The executable's file name without its extension: the caption of every message box.
[[nodiscard]] QString MessageCaption();

// The boxes as the wizard shows them: a message with one OK button and no icon; a question with
// Yes and No (Yes the default), the exclamation icon and no Cancel (Escape and the close box do
// not answer it), kept on top of the pages. Both are captioned with MessageCaption() and modal
// to the given page.
[[nodiscard]] std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, QWidget* page);
[[nodiscard]] std::unique_ptr<QMessageBox> MakeQuestionBox(const QString& text, QWidget* page);

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
