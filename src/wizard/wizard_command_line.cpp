#include "wizard/wizard_command_line.h"

#include <system_error>

#include "platform/utf8_path.h"

namespace qv {
namespace {

WizardCommandLine UsageError(std::string error) {
  WizardCommandLine result;
  result.action = WizardCommandLine::Action::kUsageError;
  result.error = std::move(error);
  return result;
}

}  // namespace

WizardCommandLine ParseWizardCommandLine(const std::vector<std::string>& arguments) {
  WizardCommandLine result;
  std::vector<std::string> paths;
  bool options_ended = false;
  bool key_expected = false;
  for (const std::string& argument : arguments) {
    if (key_expected) {
      if (argument.empty()) return UsageError("--require-signature needs a key file");
      result.required_keys.push_back(argument);
      key_expected = false;
      continue;
    }
    if (options_ended || argument.empty() || argument == "-" || argument[0] != '-') {
      if (argument != "/?" || options_ended) {
        paths.push_back(argument);
        continue;
      }
    }
    if (argument == "--") {
      options_ended = true;
    } else if (argument == "-h" || argument == "--help" || argument == "/?") {
      result.action = WizardCommandLine::Action::kHelp;
      return result;
    } else if (argument == "-v" || argument == "--version") {
      result.action = WizardCommandLine::Action::kVersion;
      return result;
    } else if (argument == "--choose") {
      result.choose = true;
    } else if (argument == "--require-signature") {
      key_expected = true;
    } else {
      return UsageError("unknown option '" + argument + "'");
    }
  }
  if (key_expected) return UsageError("--require-signature needs a key file");
  if (paths.size() > 1) return UsageError("only one PATH may be given");
  if (paths.size() == 1) {
    if (paths.front().empty()) return UsageError("PATH is empty");
    result.package_location = PathFromUtf8(paths.front());
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

namespace {

// The paragraph's words in lines of at most `width` characters (a longer word stands alone).
std::string Wrapped(const std::string& paragraph, std::size_t width) {
  if (width == 0) return paragraph;
  std::string wrapped;
  std::size_t line_length = 0;
  std::size_t start = 0;
  while (start < paragraph.size()) {
    std::size_t end = paragraph.find(' ', start);
    if (end == std::string::npos) end = paragraph.size();
    const std::size_t word = end - start;
    if (line_length > 0 && line_length + 1 + word > width) {
      wrapped += '\n';
      line_length = 0;
    } else if (line_length > 0) {
      wrapped += ' ';
      ++line_length;
    }
    wrapped.append(paragraph, start, word);
    line_length += word;
    start = end + 1;
  }
  return wrapped;
}

}  // namespace

std::string WizardHelpText(const WizardHelpPlace& place) {
  std::vector<std::string> paragraphs = {
      kWizardUsage,
      "Writes an update package into the QV USB device (vendor 0416, product B501), guided by a "
      "three-page wizard: the package's information, the start page and the progress page.",
      "Without PATH the wizard reads \"QVUpdate.Bin\" and \"readme.txt\" from the folder the "
      "program is in. PATH is a package file (under any name), or a folder holding "
      "\"QVUpdate.Bin\"; the \"readme.txt\" beside the package is shown with it.",
      "With --choose and no PATH the wizard first asks for the package file, in a file dialog "
      "that opens in the Downloads folder; Cancel there ends the program with status 0. " +
          place.way_in,
      "Continuous mode: tick \"Continuous upgrade mode\" on the start page to update device "
      "after device. After each update the page waits for the next device to be plugged in and "
      "starts again by itself (\"Other device\" starts at once); Quit ends the program.",
      "With --require-signature PUBKEY (a minisign public key file, or a folder of *.pub files; "
      "as often as needed) the package must carry a minisign signature, PACKAGE.minisig beside "
      "it, made with one of those keys. A package without one, or whose signature does not "
      "verify, is refused with a message that names it and says why, before the first page. "
      "Keys installed in " +
          place.trusted_keys +
          " are required the same way without the option; with no key installed nothing is "
          "required.",
      "Exit status: 0 when the wizard ends (Cancel in the file dialog included), 1 when the "
      "package cannot be loaded or is not approved, the file dialog cannot be shown or the user "
      "declines to re-install the version the device already has.",
  };
  std::string help;
  for (const std::string& paragraph : paragraphs) help += Wrapped(paragraph, place.width) + "\n\n";
  help +=
      "Options:\n"
      "  --choose        without PATH, ask for the package file first\n"
      "  --require-signature PUBKEY\n"
      "                  require a signature by this key (repeatable)\n"
      "  -h, --help, /?  show this help and exit\n"
      "  -v, --version   show the version and exit\n";
  if (!place.toolkit_options.empty()) {
    help += "\n" + Wrapped(place.toolkit_options, place.width) + "\n";
  }
  return help;
}

}  // namespace qv
