#pragma once

#include <string>

#include "winui/dialog_page.h"

namespace qv::winui {

// The first page: the package's information text; Next leads to the start page, Cancel (Escape,
// the close box) ends the wizard. The package has been loaded before the page is created.
class WelcomePage final : public DialogPage {
 public:
  // information_text: UTF-8, lines ending in "\n".
  WelcomePage(HINSTANCE instance, WizardDialogs& dialogs, const std::string& information_text);

 private:
  void OnInit() override;
  void OnCommand(int id, int code) override;

  const std::string& information_text_;
};

}  // namespace qv::winui
