#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace qv::winui {

// The caption of every message box: the executable's file name without its extension.
[[nodiscard]] std::wstring MessageCaption();

// A modal message with one OK button and no icon, owned by `owner` (may be null).
void ShowMessageBox(HWND owner, std::string_view text);

// A modal Yes/No question with the exclamation icon, Yes as default; true for Yes. It has no
// Cancel: Escape, Alt+F4 and the close box leave it open.
[[nodiscard]] bool AskYesNoBox(HWND owner, std::string_view text);

// What a thread other than the user-interface thread asks the page to show.
struct MessageBoxRequest {
  std::string_view text;
  bool question = false;  // Yes/No instead of a message
  bool yes = false;       // the answer to a question
};

// Shows what the request asks for, on the calling (user-interface) thread.
void ShowRequestedBox(HWND owner, MessageBoxRequest& request);

}  // namespace qv::winui
