#pragma once

#include "winui/dialog_page.h"

namespace qv::winui {

// The second page: continuous mode's check box and Start, which takes the device (the page
// stays with a message when there is none) and leads to the progress page. Cancel (Escape, the
// close box) ends the wizard.
class StartPage final : public DialogPage {
 public:
  explicit StartPage(WizardContext& context);

 private:
  void OnInit() override;
  void OnCommand(int id, int code) override;
  void OnStart();
};

}  // namespace qv::winui
