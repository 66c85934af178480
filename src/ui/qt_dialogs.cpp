#include "ui/qt_dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "ui/object_thread_call.h"

namespace qv {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString MessageCaption() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, QWidget* page) {
  return std::make_unique<QMessageBox>(QMessageBox::NoIcon, MessageCaption(), text, QMessageBox::Ok,
                                       page);
}

std::unique_ptr<QMessageBox> MakeQuestionBox(const QString& text, QWidget* page) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, MessageCaption(), text,
                                           QMessageBox::Yes | QMessageBox::No, page);
  box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  return box;
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
