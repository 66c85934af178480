#pragma once

#include <QDialog>
#include <memory>

#include "ui/wizard_context.h"

namespace Ui {
class StartPage;
}

namespace qv {

// The second page: the continuous-mode checkbox and Start, which looks for the device.
class StartPage final : public QDialog {
  Q_OBJECT
 public:
  explicit StartPage(WizardContext& context);
  ~StartPage() override;

 private:
  void OnStart();

  WizardContext& context_;
  std::unique_ptr<Ui::StartPage> ui_;
};

}  // namespace qv
