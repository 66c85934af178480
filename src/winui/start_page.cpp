#include "winui/start_page.h"

#include "winui/resource_ids.h"

namespace qv::winui {

StartPage::StartPage(HINSTANCE instance, WizardDialogs& dialogs, Wizard& wizard)
    : DialogPage(instance, dialogs, IDD_START_PAGE), wizard_(wizard) {}

void StartPage::OnInit() {
  CheckDlgButton(window(), IDC_CONTINUOUS_MODE, BST_UNCHECKED);
}

void StartPage::OnCommand(int id, int code) {
  switch (id) {
    case IDC_CONTINUOUS_MODE:
      // A click and the space bar both arrive as BN_CLICKED after the box has toggled itself.
      if (code == BN_CLICKED) {
        wizard_.SetContinuousMode(IsDlgButtonChecked(window(), IDC_CONTINUOUS_MODE) ==
                                  BST_CHECKED);
      }
      break;
    case IDC_START:
      if (wizard_.TakeDevice()) End(kPageNext);
      break;
    case IDC_CANCEL:
      End(kPageEnded);
      break;
    default:
      break;
  }
}

}  // namespace qv::winui
