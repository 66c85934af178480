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

void QtDialogs::ShowMessage(std::string_view text) {
  CallOnObjectThread(QCoreApplication::instance(), [text] {
    QMessageBox box(QMessageBox::NoIcon, MessageCaption(), ToQString(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
  });
}

bool QtDialogs::AskYesNo(std::string_view text) {
  bool yes = false;
  CallOnObjectThread(QCoreApplication::instance(), [text, &yes] {
    QMessageBox box(QMessageBox::Warning, MessageCaption(), ToQString(text),
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    yes = box.exec() == QMessageBox::Yes;
  });
  return yes;
}

}  // namespace qv
