#include "ui/package_chooser.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

namespace qv {

QString PackageChooserStartFolder() {
  const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  if (!downloads.isEmpty() && QDir(downloads).exists()) return downloads;
  return QDir::homePath();
}

std::unique_ptr<QFileDialog> MakePackageChooser(const QString& start_folder) {
  auto dialog = std::make_unique<QFileDialog>(nullptr, QStringLiteral("Open an update package"),
                                              start_folder);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  // The file dialog matches these regardless of case, so "qvupdate.bin" is listed too.
  dialog->setNameFilters({QStringLiteral("Update packages (QVUpdate.Bin *.Bin)"),
                          QStringLiteral("All files (*)")});
  return dialog;
}

std::optional<std::filesystem::path> AskForPackageFile(const QString& start_folder) {
  const std::unique_ptr<QFileDialog> dialog = MakePackageChooser(start_folder);
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog->selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  // The bytes the file system knows the name by, also for names that are not UTF-8.
  return std::filesystem::path(QFile::encodeName(chosen.front()).toStdString());
}

}  // namespace qv
