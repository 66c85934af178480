#pragma once

#include <QFileDialog>
#include <QString>
#include <filesystem>
#include <memory>
#include <optional>

namespace qv {

// The folder the package dialog opens in: the user's Downloads folder where it exists (a
// package is usually just downloaded), else the home folder.
[[nodiscard]] QString PackageChooserStartFolder();

// The dialog that asks for the package file: packages ("QVUpdate.Bin", *.Bin) listed first, any
// file may be chosen, opening in start_folder.
[[nodiscard]] std::unique_ptr<QFileDialog> MakePackageChooser(const QString& start_folder);

// Asks for the package file with that dialog, modally. Nothing when the user cancels.
[[nodiscard]] std::optional<std::filesystem::path> AskForPackageFile(const QString& start_folder);

}  // namespace qv
