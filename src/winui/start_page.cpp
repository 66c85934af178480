#include "winui/start_page.h"

#include "winui/no_device_message.h"
#include "winui/resource_ids.h"

namespace qv::winui {

StartPage::StartPage(WizardContext& context) : DialogPage(context, IDD_START_PAGE) {}

void StartPage::OnInit() {
  CheckDlgButton(window(), IDC_CONTINUOUS_MODE, BST_UNCHECKED);
}

void StartPage::OnCommand(int id, int code) {
  switch (id) {
    case IDC_CONTINUOUS_MODE:
      // A click and the space bar both arrive as BN_CLICKED after the box has toggled itself.
      if (code == BN_CLICKED) {
        context_.continuous_mode =
            IsDlgButtonChecked(window(), IDC_CONTINUOUS_MODE) == BST_CHECKED ? 1 : 0;
      }
      break;
    case IDC_START:
      OnStart();
      break;
    case IDC_CANCEL:
      End(kPageEnded);
      break;
    default:
      break;
  }
}

void StartPage::OnStart() {
  if (context_.link.Discover() == 0) {
    context_.dialogs.ShowMessage(NoDeviceMessage(context_.link));
    return;
  }
  End(kPageNext);
}

}  // namespace qv::winui
