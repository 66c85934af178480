#include "ui/wizard_command_line.h"

#include <QCommandLineParser>
#include <QFile>
#include <system_error>

namespace qv {

WizardCommandLine ParseWizardCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
  const QCommandLineOption choose(QStringLiteral("choose"), QString());
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(choose);
  parser.addPositionalArgument(QStringLiteral("PATH"), QString());

  WizardCommandLine result;
  if (!parser.parse(arguments)) {
    result.action = WizardCommandLine::Action::kUsageError;
    result.error = parser.errorText().toStdString();
    return result;
  }
  if (parser.isSet(help)) {
    result.action = WizardCommandLine::Action::kHelp;
    return result;
  }
  if (parser.isSet(version)) {
    result.action = WizardCommandLine::Action::kVersion;
    return result;
  }
  result.choose = parser.isSet(choose);
  const QStringList positional = parser.positionalArguments();
  if (positional.size() > 1) {
    result.action = WizardCommandLine::Action::kUsageError;
    result.error = "only one PATH may be given";
    return result;
  }
  if (positional.size() == 1) {
    if (positional.front().isEmpty()) {
      result.action = WizardCommandLine::Action::kUsageError;
      result.error = "PATH is empty";
      return result;
    }
    // The bytes the file system knows the name by, also for names that are not UTF-8.
    result.package_location =
        std::filesystem::path(QFile::encodeName(positional.front()).toStdString());
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
         "Writes an update package into the QV USB device (vendor 0416, product B501),\n"
         "guided by a three-page wizard: the package's information, the start page and\n"
         "the progress page.\n"
         "\n"
         "Without PATH the wizard reads \"QVUpdate.Bin\" and \"readme.txt\" from the folder\n"
         "the program is in. PATH is a package file (under any name), or a folder holding\n"
         "\"QVUpdate.Bin\"; the \"readme.txt\" beside the package is shown with it.\n"
         "\n"
         "With --choose and no PATH the wizard first asks for the package file, in a file\n"
         "dialog that opens in the Downloads folder; Cancel there ends the program with\n"
         "status 0. The desktop entry starts the wizard this way (qvupdater --choose %f),\n"
         "so it opens a package from the menu and from a file manager alike.\n"
         "\n"
         "Continuous mode: tick \"Continuous upgrade mode\" on the start page to update\n"
         "device after device. After each update the page waits for the next device to\n"
         "be plugged in and starts again by itself (\"Other device\" starts at once); Quit\n"
         "ends the program.\n"
         "\n"
         "Exit status: 0 when the wizard ends (Cancel in the file dialog included), 1\n"
         "when the package cannot be loaded or the user declines to re-install the\n"
         "version the device already has.\n"
         "\n"
         "Options:\n"
         "  --choose       without PATH, ask for the package file first\n"
         "  -h, --help     print this help and exit\n"
         "  -v, --version  print the version and exit\n"
         "\n"
         "Qt's own options (-platform, -style, ...) are accepted as well.\n";
}

}  // namespace qv
