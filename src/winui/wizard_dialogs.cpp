#include "winui/wizard_dialogs.h"

#include "winui/wizard_messages.h"

namespace qv::winui {

WizardDialogs::WizardDialogs() : ui_thread_(GetCurrentThreadId()) {}

void WizardDialogs::ShowMessage(std::string_view text) {
  MessageBoxRequest request{text, false, false};
  Show(request);
}

bool WizardDialogs::AskYesNo(std::string_view text) {
  MessageBoxRequest request{text, true, false};
  Show(request);
  return request.yes;
}

void WizardDialogs::Show(MessageBoxRequest& request) {
  const HWND page = page_.load();
  if (GetCurrentThreadId() == ui_thread_ || page == nullptr) {
    ShowRequestedBox(page, request);
    return;
  }
  // The page's thread shows the box inside its own message loop; the send returns once the box
  // has been answered.
  SendMessageW(page, kMessageBoxMessage, 0, reinterpret_cast<LPARAM>(&request));
}

}  // namespace qv::winui
