#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class WelcomePage;
}

namespace qv {

// The first page: the package information and Next / Cancel.
class WelcomePage final : public QDialog {
  Q_OBJECT
 public:
  // information_text: UTF-8, lines ending in "\n".
  explicit WelcomePage(const std::string& information_text);
  ~WelcomePage() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<Ui::WelcomePage> ui_;
};

}  // namespace qv
