#pragma once

#include <QDialog>
#include <memory>

#include "package/package_load.h"
#include "ui/wizard_context.h"

namespace Ui {
class WelcomePage;
}

namespace qv {

// The first page: the package information and Next / Cancel.
class WelcomePage final : public QDialog {
  Q_OBJECT
 public:
  explicit WelcomePage(WizardContext& context);
  ~WelcomePage() override;

  // Loads the package and shows its information text. False after the loader's message box;
  // the program then ends without showing the page.
  [[nodiscard]] bool LoadAndShowPackage(const PackagePaths& paths);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  WizardContext& context_;
  std::unique_ptr<Ui::WelcomePage> ui_;
};

}  // namespace qv
