#pragma once

#include <string_view>

namespace qv {

// How the core tells the user something or asks a question. The wizard shows Qt message boxes
// on its user-interface thread, the command-line tool writes to the terminal, tests record.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal message with one OK button.
  virtual void ShowMessage(std::string_view text) = 0;
  // A modal Yes/No question with the exclamation icon; true for Yes.
  [[nodiscard]] virtual bool AskYesNo(std::string_view text) = 0;
};

}  // namespace qv
