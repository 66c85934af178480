#include "winui/wizard_command_line.h"

#include <system_error>

namespace qv::winui {

WizardCommandLine ParseWizardCommandLine(const std::vector<std::wstring>& arguments) {
  WizardCommandLine result;
  std::vector<std::wstring> paths;
  for (const std::wstring& argument : arguments) {
    if (argument == L"-h" || argument == L"--help" || argument == L"/?") {
      result.action = WizardCommandLine::Action::kHelp;
      return result;
    }
    if (argument == L"-v" || argument == L"--version") {
      result.action = WizardCommandLine::Action::kVersion;
      return result;
    }
    if (argument == L"--choose") {
      result.choose = true;
      continue;
    }
    if (argument.size() > 1 && argument[0] == L'-') {
      result.action = WizardCommandLine::Action::kUsageError;
      result.error = "unknown option";
      return result;
    }
    paths.push_back(argument);
  }
  if (paths.size() > 1) {
    result.action = WizardCommandLine::Action::kUsageError;
    result.error = "only one PATH may be given";
    return result;
  }
  if (paths.size() == 1) {
    if (paths.front().empty()) {
      result.action = WizardCommandLine::Action::kUsageError;
      result.error = "PATH is empty";
      return result;
    }
    result.package_location = std::filesystem::path(paths.front());
  }
  return result;
}

PackagePaths WizardPackagePaths(const std::optional<std::filesystem::path>& package_location,
                                const std::filesystem::path& program_directory) {
  if (!package_location) return PackagePathsIn(program_directory);
  std::error_code error;
  if (std::filesystem::is_directory(*package_location, error)) {
    return PackagePathsIn(*package_location);
  }
  // A file, or nothing at all: the load then reports the package it cannot open.
  return {*package_location, package_location->parent_path() / kReadmeFileName};
}

std::string WizardHelpText() {
  return "Usage: qvupdater [--choose] [PATH]\n"
         "\n"
         "Writes an update package into the QV USB device (vendor 0416, product B501), guided "
         "by a three-page wizard.\n"
         "\n"
         "Without PATH the wizard reads \"QVUpdate.Bin\" and \"readme.txt\" from the folder the "
         "program is in. PATH is a package file (under any name), or a folder holding "
         "\"QVUpdate.Bin\"; the \"readme.txt\" beside the package is shown with it.\n"
         "\n"
         "With --choose and no PATH the wizard first asks for the package file, in the file "
         "dialog, starting in the Downloads folder; Cancel there ends the program with status "
         "0. The Start-menu shortcut starts the wizard this way, and a package dropped on the "
         "shortcut or on the program, or opened with \"Open with\", is read at once.\n"
         "\n"
         "Continuous mode: tick \"Continuous upgrade mode\" on the start page to update device "
         "after device. After each update the page waits for the next device to be plugged in "
         "and starts again by itself (\"Other device\" starts at once); Quit ends the program.\n"
         "\n"
         "Exit status: 0 when the wizard ends (Cancel in the file dialog included), 1 when the "
         "package cannot be loaded, the file dialog cannot be shown or the user "
         "declines to re-install the version the device already has.\n"
         "\n"
         "Options:\n"
         "  --choose        without PATH, ask for the package file first\n"
         "  -h, --help, /?  show this help\n"
         "  -v, --version   show the version";
}

}  // namespace qv::winui
