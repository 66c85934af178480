// qvupdate info: loads a package exactly as the wizard does, runs the update-time checks and
// prints what the package holds.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "cli/cli_dialogs.h"
#include "cli/cli_package_report.h"
#include "cli/cli_signature.h"
#include "cli/commands.h"
#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "platform/utf8_path.h"
#include "package/package_checks.h"
#include "update/checked_package.h"
#include "platform/path_kind.h"
#include "signature/signature_files.h"
#include "station/visible_text.h"

namespace qv::cli {
namespace {

struct InfoOptions {
  std::string package = kPackageFileName;
  std::vector<std::string> keys;
  bool json = false;
};

// Whether a signature file is beside the package and, with trusted keys, whether it verifies.
struct SignatureState {
  std::string file;
  bool present = false;
  bool checked = false;  // keys were given
  std::optional<signature::VerifiedSignature> verified = {};
  Failure failure = {};  // when checked and not verified
};

SignatureState CheckSignature(const InfoOptions& options) {
  SignatureState state;
  state.file = signature::SignaturePathFor(options.package);
  state.present = LookAtPath(PathFromUtf8(state.file)).is != PathKind::Is::kAbsent;
  if (options.keys.empty()) return state;
  state.checked = true;
  const Result<std::vector<signature::PublicKey>> keys = signature::ReadTrustedKeys(options.keys);
  if (!keys) {
    state.failure = keys.failure();
    return state;
  }
  Result<signature::VerifiedSignature> verified =
      signature::VerifyPackageFile(options.package, *keys);
  if (verified) {
    state.verified = std::move(*verified);
  } else {
    state.failure = verified.failure();
  }
  return state;
}

std::string SignatureText(const SignatureState& s) {
  std::string text = "Signature:      ";
  if (!s.present) {
    text += "none (no " + PathText(s.file) + ")";
  } else if (!s.checked) {
    text += PathText(s.file) + " (not checked: give --key)";
  } else if (s.verified) {
    text += "verified, key " + s.verified->key_id + "\nTrusted comment: " +
            station::VisibleText(s.verified->trusted_comment);
  } else {
    text += PathText(s.file) + ", not verified";
  }
  if (s.checked && !s.verified) {
    text += "\n  " + PathText(s.failure.message);
    if (!s.failure.detail.empty()) text += "\n  " + PathText(s.failure.detail);
  }
  return text + "\n";
}

nlohmann::json SignatureJson(const SignatureState& s) {
  nlohmann::json json = {{"file", s.file}, {"present", s.present}};
  if (!s.checked) return json;
  json["verified"] = s.verified.has_value();
  if (s.verified) {
    json["key_id"] = s.verified->key_id;
    json["trusted_comment"] = ToValidUtf8(s.verified->trusted_comment);
  } else {
    json["message"] = ToValidUtf8(s.failure.message);
    json["detail"] = ToValidUtf8(s.failure.detail);
  }
  return json;
}

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
  const SignatureState signature = CheckSignature(options);
  if (options.json) {
    nlohmann::json json = ReportJson(report);
    json["signature"] = SignatureJson(signature);
    std::cout << json.dump() << "\n";
  } else {
    report.signature_text = SignatureText(signature);
    std::cout << "Package:        " << options.package << "\n" << ReportText(report);
  }
  std::cout.flush();
  const bool signature_ok = !signature.checked || signature.verified.has_value();
  return report.check == "ok" && signature_ok ? 0 : 1;
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
      "one. Says whether a signature file (PACKAGE.minisig) is beside the package and, given "
      "--key, whether it verifies (see qvupdate verify).\n"
      "Exit status 1 when the package cannot be loaded or fails a check, or when --key is "
      "given and the signature does not verify.");
  info->add_option("package", options->package,
                   "The package file (default: QVUpdate.Bin in the current folder; the "
                   "readme.txt beside it is read too)")
      ->type_name("FILE");
  info->add_option("--key", options->keys,
                   "A trusted public key (a minisign .pub file, or a folder of them; "
                   "repeatable): also check the package's signature, PACKAGE.minisig")
      ->type_name("PUBKEY");
  info->add_flag("--json", options->json,
                 "Print one JSON object: numbers as integers, byte strings as lower-case hex");
  info->callback([options] { ExitStatus() = RunInfo(*options); });
}

}  // namespace qv::cli
