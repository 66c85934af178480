#include "winui/dialog_page.h"

#include "platform/windows_text.h"
#include "winui/message_boxes.h"
#include "winui/resource_ids.h"
#include "winui/wizard_messages.h"

namespace qv::winui {

DialogPage::DialogPage(HINSTANCE instance, WizardDialogs& dialogs, int template_id)
    : instance_(instance), dialogs_(dialogs), template_id_(template_id) {}

INT_PTR DialogPage::Run() {
  const INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(template_id_),
                                         nullptr, &DialogPage::Procedure,
                                         reinterpret_cast<LPARAM>(this));
  dialogs_.SetPage(nullptr);
  window_ = nullptr;
  return result;
}

INT_PTR CALLBACK DialogPage::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* page = reinterpret_cast<DialogPage*>(lparam);
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    page->window_ = window;
  }
  auto* page = reinterpret_cast<DialogPage*>(GetWindowLongPtrW(window, DWLP_USER));
  return page == nullptr ? FALSE : page->Handle(message, wparam, lparam);
}

INT_PTR DialogPage::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      SetIcons();
      dialogs_.SetPage(window_);
      OnInit();
      return TRUE;  // the dialog manager focuses the first control with a tab stop
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case kMessageBoxMessage:
      ShowRequestedBox(window_, *reinterpret_cast<MessageBoxRequest*>(lparam));
      return TRUE;
    default:
      return OnMessage(message, wparam, lparam) ? TRUE : FALSE;
  }
}

void DialogPage::SetIcons() {
  const auto load = [this](int size) {
    return LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, size, size,
                      LR_DEFAULTCOLOR | LR_SHARED);
  };
  SendMessageW(window_, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(load(GetSystemMetrics(SM_CXICON))));
  SendMessageW(window_, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(load(GetSystemMetrics(SM_CXSMICON))));
}

void DialogPage::End(PageOutcome outcome) {
  EndDialog(window_, outcome);
}

void DialogPage::SetItemText(int id, std::string_view utf8) {
  SetDlgItemTextW(window_, id, WideFromUtf8(utf8).c_str());
}

void DialogPage::FocusItem(int id) {
  SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
}

}  // namespace qv::winui
