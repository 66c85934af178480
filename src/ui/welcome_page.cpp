#include "ui/welcome_page.h"

#include <QKeyEvent>
#include <QPushButton>

#include "ui/qt_text.h"
#include "ui/page_appearance.h"
#include "ui/page_templates.h"
#include "ui_welcome_page.h"
#include "wizard/wizard_context.h"

namespace qv {

WelcomePage::WelcomePage(const std::string& information_text)
    : ui_(std::make_unique<Ui::WelcomePage>()) {
  EnsureUiResources();
  ui_->setupUi(this);
  ApplyPageAppearanceOrAbort(*this, WelcomeTemplate());
  connect(ui_->next_button, &QPushButton::clicked, this, [this] { done(kPageNext); });
  connect(ui_->cancel_button, &QPushButton::clicked, this, [this] { done(kPageEnded); });
  ui_->next_button->setFocus();
  // The text box keeps Enter for itself: Enter there does not press Next.
  ui_->information_text_box->installEventFilter(this);
  ui_->information_text_box->setPlainText(ToQString(information_text));
}

bool WelcomePage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->information_text_box && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
  }
  return QDialog::eventFilter(watched, event);
}

WelcomePage::~WelcomePage() = default;

}  // namespace qv
