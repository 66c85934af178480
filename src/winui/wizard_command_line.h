#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "package/package_load.h"

namespace qv::winui {

// What qvupdater.exe's command line asks for: run the wizard (on the package beside the program,
// on the one at PATH, or with --choose on one the user picks), show the help or the version, or
// nothing sensible.
struct WizardCommandLine {
  enum class Action { kRun, kHelp, kVersion, kUsageError };
  Action action = Action::kRun;
  std::optional<std::filesystem::path> package_location;  // PATH, when one was given
  // --choose: without PATH, ask for the package file first (the Start menu's way in).
  bool choose = false;
  std::string error;                                      // for kUsageError
};

// Parses the arguments after the program's name.
[[nodiscard]] WizardCommandLine ParseWizardCommandLine(const std::vector<std::wstring>& arguments);

// Where the package and its readme are read from. Without PATH: "QVUpdate.Bin" and "readme.txt"
// in the program's own folder. PATH a folder: the two files in it. Otherwise PATH is the package
// file (whatever its name) and the readme is the "readme.txt" beside it.
[[nodiscard]] PackagePaths WizardPackagePaths(
    const std::optional<std::filesystem::path>& package_location,
    const std::filesystem::path& program_directory);

// The text the help shows.
[[nodiscard]] std::string WizardHelpText();

}  // namespace qv::winui
