// qvupdate info: loads a package exactly as the wizard does, runs the update-time checks and
// prints what the package holds.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "cli/cli_dialogs.h"
#include "cli/cli_package_report.h"
#include "cli/commands.h"
#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "platform/utf8_path.h"
#include "package/package_checks.h"
#include "update/checked_package.h"

namespace qv::cli {
namespace {

struct InfoOptions {
  std::string package = kPackageFileName;
  bool json = false;
};

// The first failing update-time check, shown, or "ok". The sums are reported once the header
// passed its checks, also for a package the later checks refuse.
std::string RunChecks(const PackageStore& store, Dialogs& dialogs, AreaResults& sums) {
  if (ValidatePackage(store)) ComputeAreaSums(store, sums);
  const Result<CheckedPackage> checked = CheckPackage(store);
  if (checked) return "ok";
  dialogs.ShowMessage(checked.failure().message);
  return checked.failure().message;
}

int RunInfo(const InfoOptions& options) {
  TerminalDialogs terminal(AnswerPolicy::kNo);
  RepeatedDetailFilter dialogs(terminal);
  RuntimeRandom random;
  PackageStore store;
  const std::filesystem::path package = PathFromUtf8(options.package);
  const PackagePaths paths{package, package.parent_path() / kReadmeFileName};
  if (!LoadPackage(store, paths, dialogs, random, SystemClock())) return 1;

  PackageReport report = ReportFromStore(store);
  report.check = RunChecks(store, dialogs, report.results);
  store.Release();
  if (options.json) {
    std::cout << ReportJson(report).dump() << "\n";
  } else {
    std::cout << "Package:        " << options.package << "\n" << ReportText(report);
  }
  std::cout.flush();
  return report.check == "ok" ? 0 : 1;
}

}  // namespace

void AddInfoCommand(CLI::App& app) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* info = app.add_subcommand("info", "Check a package and print what it holds");
  info->footer(
      "Loads the package as the updater does, runs its update-time checks and prints its "
      "header, areas, version record, sums and readme, and whether its version can ever match "
      "a device's (see 'qvupdate build --help' for how versions are compared).\n"
      "Messages go to stderr, each with a line naming the file and the reason where there is "
      "one. Exit status 1 when the package cannot be loaded or fails a check.");
  info->add_option("package", options->package,
                   "The package file (default: QVUpdate.Bin in the current folder; the "
                   "readme.txt beside it is read too)")
      ->type_name("FILE");
  info->add_flag("--json", options->json,
                 "Print one JSON object: numbers as integers, byte strings as lower-case hex");
  info->callback([options] { ExitStatus() = RunInfo(*options); });
}

}  // namespace qv::cli
