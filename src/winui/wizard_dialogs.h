#pragma once

#include <windows.h>

#include <atomic>
#include <string_view>

#include "platform/dialogs.h"
#include "winui/message_boxes.h"

namespace qv::winui {

// The core's messages and questions as message boxes, always shown by the user-interface thread
// and owned by the page that is open. A call on the user-interface thread shows the box at once;
// a call from another thread (a progress page's worker) sends the page kMessageBoxMessage and
// waits until the page has shown the box and has the answer.
class WizardDialogs final : public Dialogs {
 public:
  // The calling thread is taken as the user-interface thread.
  WizardDialogs();

  // The page that owns the boxes from now on (null: none is open).
  void SetPage(HWND page) { page_.store(page); }

  void ShowMessage(std::string_view text) override;
  [[nodiscard]] bool AskYesNo(std::string_view text) override;

 private:
  void Show(MessageBoxRequest& request);

  DWORD ui_thread_;
  std::atomic<HWND> page_{nullptr};
};

}  // namespace qv::winui
