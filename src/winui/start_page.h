#pragma once

#include "winui/dialog_page.h"
#include "wizard/wizard.h"

namespace qv::winui {

// The second page: continuous mode's check box and Start, which takes the device (the page
// stays with a message when there is none) and leads to the progress page. Cancel (Escape, the
// close box) ends the wizard.
class StartPage final : public DialogPage {
 public:
  StartPage(HINSTANCE instance, WizardDialogs& dialogs, Wizard& wizard);

 private:
  void OnInit() override;
  void OnCommand(int id, int code) override;

  Wizard& wizard_;
};

}  // namespace qv::winui
