#include "winui/welcome_page.h"

#include "platform/windows_text.h"
#include "winui/resource_ids.h"

namespace qv::winui {
namespace {

// The edit box ends a line with CR LF.
std::wstring WithEditBoxLineEnds(const std::string& text) {
  std::wstring shown;
  for (const wchar_t c : WideFromUtf8(text)) {
    if (c == L'\n') shown.push_back(L'\r');
    shown.push_back(c);
  }
  return shown;
}

}  // namespace

WelcomePage::WelcomePage(HINSTANCE instance, WizardDialogs& dialogs,
                         const std::string& information_text)
    : DialogPage(instance, dialogs, IDD_WELCOME_PAGE), information_text_(information_text) {}

void WelcomePage::OnInit() {
  SetDlgItemTextW(window(), IDC_INFORMATION_TEXT, WithEditBoxLineEnds(information_text_).c_str());
}

void WelcomePage::OnCommand(int id, int code) {
  (void)code;
  if (id == IDC_NEXT) End(kPageNext);
  if (id == IDC_CANCEL) End(kPageEnded);
}

}  // namespace qv::winui
