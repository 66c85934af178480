#include "ui/start_page.h"

#include <QCheckBox>
#include <QPushButton>

#include "ui/no_device_message.h"
#include "ui/page_appearance.h"
#include "ui/page_templates.h"
#include "ui_start_page.h"
#include "update/update_texts.h"

namespace qv {

StartPage::StartPage(WizardContext& context)
    : context_(context), ui_(std::make_unique<Ui::StartPage>()) {
  EnsureUiResources();
  ui_->setupUi(this);
  ApplyPageAppearanceOrAbort(*this, StartTemplate());
  ui_->continuous_mode_checkbox->setChecked(false);
  // clicked() fires for the mouse and the space bar alike, never for programmatic changes.
  connect(ui_->continuous_mode_checkbox, &QCheckBox::clicked, this,
          [this](bool checked) { context_.continuous_mode = checked ? 1 : 0; });
  connect(ui_->start_button, &QPushButton::clicked, this, [this] { OnStart(); });
  connect(ui_->cancel_button, &QPushButton::clicked, this, [this] { done(kPageEnded); });
  ui_->start_button->setFocus();
}

StartPage::~StartPage() = default;

void StartPage::OnStart() {
  if (context_.link.Discover() == 0) {
    context_.dialogs.ShowMessage(NoDeviceMessage(context_));
    return;
  }
  done(kPageNext);
}

}  // namespace qv
