#pragma once

#include <windows.h>

#include <string_view>

#include "winui/wizard_dialogs.h"
#include "wizard/wizard_context.h"

namespace qv::winui {

// One wizard page: a modal dialog from its template in the program's resources, with no parent
// window. Derived pages handle their controls; this class binds the window to the object, gives
// the page the program icon, makes it the owner of the message boxes while it is open and
// shows the boxes that other threads ask for.
class DialogPage {
 public:
  DialogPage(HINSTANCE instance, WizardDialogs& dialogs, int template_id);
  virtual ~DialogPage() = default;
  DialogPage(const DialogPage&) = delete;
  DialogPage& operator=(const DialogPage&) = delete;

  // Shows the page and returns once it has ended: its PageOutcome, or -1 when the page could not
  // be created.
  [[nodiscard]] INT_PTR Run();

 protected:
  // WM_INITDIALOG, after the common steps; the controls exist.
  virtual void OnInit() {}
  // WM_COMMAND from a control, a key or the close box.
  virtual void OnCommand(int id, int code) = 0;
  // Any other message; true when handled.
  virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    (void)message;
    (void)wparam;
    (void)lparam;
    return false;
  }

  void End(PageOutcome outcome);
  [[nodiscard]] HWND window() const { return window_; }
  [[nodiscard]] HWND Item(int id) const { return GetDlgItem(window_, id); }
  void SetItemText(int id, std::string_view utf8);
  // Moves the keyboard focus to a control as the dialog manager does (the default button
  // follows it).
  void FocusItem(int id);

  HINSTANCE instance_;
  WizardDialogs& dialogs_;

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void SetIcons();

  int template_id_;
  HWND window_ = nullptr;
};

}  // namespace qv::winui
