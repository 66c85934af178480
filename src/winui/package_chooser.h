#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

namespace qv::winui {

// The folder the package dialog starts in: the user's Downloads folder (a package is usually
// just downloaded); empty when the system names none, and the dialog then starts where the
// system's own rules put it.
[[nodiscard]] std::filesystem::path PackageChooserStartFolder();

// What the package dialog came to.
struct PackageChoice {
  std::optional<std::filesystem::path> package;  // the file chosen; none on Cancel
  std::string error;                             // set when the dialog could not be shown
};

// Asks for the package file in the system's file dialog, modally: packages ("QVUpdate.Bin",
// *.bin) are listed first, and any file may be chosen.
[[nodiscard]] PackageChoice AskForPackageFile(HWND owner, const std::filesystem::path& start_folder);

}  // namespace qv::winui
