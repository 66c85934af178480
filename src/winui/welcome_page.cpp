#include "winui/welcome_page.h"

#include "winui/welcome_text_win32.h"
#include "winui/resource_ids.h"

namespace qv::winui {

WelcomePage::WelcomePage(WizardContext& context) : DialogPage(context, IDD_WELCOME_PAGE) {}

void WelcomePage::OnInit() {
  const std::wstring text = InformationTextForDisplay(context_.store.information_text);
  SetDlgItemTextW(window(), IDC_INFORMATION_TEXT, text.c_str());
}

void WelcomePage::OnCommand(int id, int code) {
  (void)code;
  if (id == IDC_NEXT) End(kPageNext);
  if (id == IDC_CANCEL) End(kPageEnded);
}

}  // namespace qv::winui
