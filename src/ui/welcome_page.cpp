#include "ui/welcome_page.h"

#include <QPushButton>

#include "ui/information_text.h"
#include "ui/page_appearance.h"
#include "ui/page_templates.h"
#include "ui_welcome_page.h"

namespace qv {

WelcomePage::WelcomePage(WizardContext& context)
    : context_(context), ui_(std::make_unique<Ui::WelcomePage>()) {
  EnsureUiResources();
  ui_->setupUi(this);
  ApplyPageAppearance(*this, WelcomeTemplate());
  connect(ui_->control_1, &QPushButton::clicked, this, [this] { done(kPageNext); });
  connect(ui_->control_2, &QPushButton::clicked, this, [this] { done(kPageEnded); });
  ui_->control_1->setFocus();
}

WelcomePage::~WelcomePage() = default;

bool WelcomePage::LoadAndShowPackage(const PackagePaths& paths) {
  if (!LoadPackage(context_.store, paths, context_.dialogs, context_.random, context_.clock)) {
    return false;
  }
  ui_->control_1000->setPlainText(InformationTextForDisplay(context_.store.information_text));
  return true;
}

}  // namespace qv
