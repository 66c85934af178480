#pragma once

#include <QDialog>
#include <memory>

#include "wizard/wizard.h"

namespace Ui {
class StartPage;
}

namespace qv {

// The second page: the continuous-mode checkbox and Start, which looks for the device.
class StartPage final : public QDialog {
  Q_OBJECT
 public:
  explicit StartPage(Wizard& wizard);
  ~StartPage() override;

 private:
  Wizard& wizard_;
  std::unique_ptr<Ui::StartPage> ui_;
};

}  // namespace qv
