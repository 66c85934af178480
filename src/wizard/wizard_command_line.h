#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "package/package_load.h"

namespace qv {

// What qvupdater's command line asks for: run the wizard (on the package beside the program, on
// the one at PATH, or with --choose on one the user picks), print the help or the version, or
// nothing sensible.
struct WizardCommandLine {
  enum class Action { kRun, kHelp, kVersion, kUsageError };
  Action action = Action::kRun;
  std::optional<std::filesystem::path> package_location = {};  // PATH, when one was given
  // --choose: without PATH, ask for the package file first (the desktop entry's and the Start
  // menu's way in).
  bool choose = false;
  // --require-signature PUBKEY, as often as given: the keys (files or folders of them) one of
  // which must have signed the package.
  std::vector<std::string> required_keys = {};
  std::string error = {};  // for kUsageError
};

// Parses the arguments after the program's name, as UTF-8 (on Linux a name's bytes as they are).
// A toolkit's own options must have been taken out already. "--" ends the options.
[[nodiscard]] WizardCommandLine ParseWizardCommandLine(const std::vector<std::string>& arguments);

// Where the package and its readme are read from. Without PATH: "QVUpdate.Bin" and "readme.txt"
// in the program's own folder. PATH a folder: the two files in it. Otherwise PATH is the package
// file (whatever its name) and the readme is the "readme.txt" beside it.
[[nodiscard]] PackagePaths WizardPackagePaths(
    const std::optional<std::filesystem::path>& package_location,
    const std::filesystem::path& program_directory);

inline constexpr const char* kWizardUsage =
    "Usage: qvupdater [--choose] [--require-signature PUBKEY]... [PATH]";

// What the help says that differs by system.
struct WizardHelpPlace {
  std::string way_in = {};           // how the system's menu or desktop starts the wizard
  std::string trusted_keys = {};     // the system's trusted-keys folder, as the help names it
  std::string toolkit_options = {};  // the toolkit's own options; empty for none
  std::size_t width = 0;             // wrap the paragraphs at this many characters; 0: no wrapping
};

// The text the help shows.
[[nodiscard]] std::string WizardHelpText(const WizardHelpPlace& place);

}  // namespace qv
