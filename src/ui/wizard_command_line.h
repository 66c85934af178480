#pragma once

#include <QStringList>
#include <filesystem>
#include <optional>
#include <string>

#include "package/package_load.h"

namespace qv {

// What qvupdater's command line asks for: run the wizard (on the package beside the program, on
// the one at PATH, or with --choose on one the user picks), print the help or the version, or
// nothing sensible.
struct WizardCommandLine {
  enum class Action { kRun, kHelp, kVersion, kUsageError };
  Action action = Action::kRun;
  std::optional<std::filesystem::path> package_location;  // PATH, when one was given
  // --choose: without PATH, ask for the package file first (the desktop entry's way in).
  bool choose = false;
  std::string error;                                      // for kUsageError
};

// Parses the arguments, program name first. Qt's own options (-platform, -style …) must have
// been taken out already (QApplication does that); the help and version options are found
// without them too, so that they work where no display can be opened.
[[nodiscard]] WizardCommandLine ParseWizardCommandLine(const QStringList& arguments);

// Where the package and its readme are read from. Without PATH: "QVUpdate.Bin" and "readme.txt"
// in the program's own directory. PATH a directory: the two files in it. Otherwise PATH is the
// package file (whatever its name) and the readme is the "readme.txt" beside it.
[[nodiscard]] PackagePaths WizardPackagePaths(
    const std::optional<std::filesystem::path>& package_location,
    const std::filesystem::path& program_directory);

// The text --help prints.
[[nodiscard]] std::string WizardHelpText();

}  // namespace qv
