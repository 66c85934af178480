#include "ui/start_page.h"

#include <QCheckBox>
#include <QPushButton>

#include "ui/page_appearance.h"
#include "ui/page_templates.h"
#include "ui_start_page.h"

namespace qv {

StartPage::StartPage(Wizard& wizard) : wizard_(wizard), ui_(std::make_unique<Ui::StartPage>()) {
  EnsureUiResources();
  ui_->setupUi(this);
  ApplyPageAppearanceOrAbort(*this, StartTemplate());
  ui_->continuous_mode_checkbox->setChecked(false);
  // clicked() fires for the mouse and the space bar alike, never for programmatic changes.
  connect(ui_->continuous_mode_checkbox, &QCheckBox::clicked, this,
          [this](bool checked) { wizard_.SetContinuousMode(checked); });
  connect(ui_->start_button, &QPushButton::clicked, this, [this] {
    if (wizard_.TakeDevice()) done(kPageNext);
  });
  connect(ui_->cancel_button, &QPushButton::clicked, this, [this] { done(kPageEnded); });
  ui_->start_button->setFocus();
}

StartPage::~StartPage() = default;

}  // namespace qv
