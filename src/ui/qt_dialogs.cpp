#include "ui/qt_dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>

#include "ui/object_thread_call.h"
#include "ui/qt_text.h"

namespace qv {

QString MessageCaption() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, QWidget* page) {
  return std::make_unique<QMessageBox>(QMessageBox::NoIcon, MessageCaption(), text, QMessageBox::Ok,
                                       page);
}

namespace {

// A Yes/No question has no Cancel: Escape and the close box leave it open, where a plain
// QMessageBox would take them as No.
class YesNoQuestionBox final : public QMessageBox {
 public:
  YesNoQuestionBox(const QString& text, QWidget* page)
      : QMessageBox(QMessageBox::Warning, MessageCaption(), text,
                    QMessageBox::Yes | QMessageBox::No, page) {
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                    Qt::WindowStaysOnTopHint) &
                   ~Qt::WindowCloseButtonHint);
    setDefaultButton(QMessageBox::Yes);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Cancel)) {
      event->accept();
      return;
    }
    QMessageBox::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

}  // namespace

std::unique_ptr<QMessageBox> MakeQuestionBox(const QString& text, QWidget* page) {
  return std::make_unique<YesNoQuestionBox>(text, page);
}

void QtDialogs::ShowMessage(std::string_view text) {
  CallOnObjectThread(QCoreApplication::instance(), [text] {
    MakeMessageBox(ToQString(text), QApplication::activeWindow())->exec();
  });
}

bool QtDialogs::AskYesNo(std::string_view text) {
  bool yes = false;
  CallOnObjectThread(QCoreApplication::instance(), [text, &yes] {
    yes =
        MakeQuestionBox(ToQString(text), QApplication::activeWindow())->exec() == QMessageBox::Yes;
  });
  return yes;
}

}  // namespace qv
