#include "ui/wizard_command_line.h"

#include <QCommandLineParser>
#include <QFile>
#include <system_error>

namespace qv {

WizardCommandLine ParseWizardCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
  parser.addOption(help);
  parser.addOption(version);
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
  return "Usage: qvupdater [PATH]\n"
         "Writes an update package into the QV USB device (vendor 0416, product B501), guided "
         "by a\nthree-page wizard.\n"
         "\n"
         "Without PATH the wizard reads \"QVUpdate.Bin\" and \"readme.txt\" from the folder "
         "the\nprogram is in. PATH is a package file, or a folder holding \"QVUpdate.Bin\"; "
         "the\n\"readme.txt\" beside the package is shown with it.\n"
         "\n"
         "Options:\n"
         "  -h, --help     print this help and exit\n"
         "  -v, --version  print the version and exit\n"
         "\n"
         "Qt's own options (-platform, -style, ...) are accepted as well.\n"
         "Exit status: 0 when the wizard ends, 1 when the package cannot be loaded or the\n"
         "user declines to install the version the device already has.\n";
}

}  // namespace qv
