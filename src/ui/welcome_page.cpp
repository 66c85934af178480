#include "ui/welcome_page.h"

#include <QKeyEvent>
#include <QPushButton>

#include "ui/welcome_text_qt.h"
#include "ui/page_appearance.h"
#include "ui/page_templates.h"
#include "ui_welcome_page.h"

namespace qv {

WelcomePage::WelcomePage(WizardContext& context)
    : context_(context), ui_(std::make_unique<Ui::WelcomePage>()) {
  EnsureUiResources();
  ui_->setupUi(this);
  ApplyPageAppearanceOrAbort(*this, WelcomeTemplate());
  connect(ui_->next_button, &QPushButton::clicked, this, [this] { done(kPageNext); });
  connect(ui_->cancel_button, &QPushButton::clicked, this, [this] { done(kPageEnded); });
  ui_->next_button->setFocus();
  // The text box keeps Enter for itself: Enter there does not press Next.
  ui_->information_text_box->installEventFilter(this);
}

bool WelcomePage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->information_text_box && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
  }
  return QDialog::eventFilter(watched, event);
}

WelcomePage::~WelcomePage() = default;

bool WelcomePage::LoadAndShowPackage(const PackagePaths& paths) {
  if (!LoadPackage(context_.store, paths, context_.dialogs, context_.random, context_.clock)) {
    return false;
  }
  ui_->information_text_box->setPlainText(InformationTextForDisplay(context_.store.information_text));
  return true;
}

}  // namespace qv
