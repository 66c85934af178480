#include "wizard/approved_package.h"

#include "platform/folder_listing.h"
#include "platform/utf8_path.h"
#include "signature/package_approval.h"
#include "signature/signature_files.h"

namespace qv {
namespace {

std::string Lines(const Failure& failure) {
  return failure.detail.empty() ? failure.message : failure.message + "\n" + failure.detail;
}

// The box of a package that is not approved: the package, then why.
void ShowNotApproved(Dialogs& dialogs, const std::filesystem::path& package,
                     const Failure& failure) {
  dialogs.ShowMessage(std::string(kPackageNotApproved) + "\n" + Utf8FromPath(package) + "\n" +
                      Lines(failure));
}

}  // namespace

Result<std::vector<signature::PublicKey>> RequiredKeys(const SignatureRequirement& requirement) {
  Result<std::vector<signature::PublicKey>> keys =
      signature::ReadTrustedKeys(requirement.key_paths);
  if (!keys) return keys;
  const std::filesystem::path& folder = requirement.trusted_keys_folder;
  if (folder.empty() || !IsFolder(folder)) return keys;
  const Result<std::vector<std::filesystem::path>> installed = FilesInFolder(folder, ".pub");
  if (!installed) {
    return Failure{"Cannot read the trusted keys in " + Utf8FromPath(folder),
                   installed.failure().message};
  }
  if (installed->empty()) return keys;
  Result<std::vector<signature::PublicKey>> more = signature::ReadTrustedKeys(Utf8FromPath(folder));
  if (!more) return more;
  keys->insert(keys->end(), more->begin(), more->end());
  return keys;
}

bool LoadApprovedPackage(PackageStore& store, const PackagePaths& paths,
                         std::vector<signature::PublicKey> keys, Dialogs& dialogs, Random& random,
                         Clock& clock) {
  FilePackageSource file(paths.package);
  auto approval =
      signature::PackageApproval::Begin(Utf8FromPath(paths.package), std::move(keys), file);
  if (!approval) {
    ShowNotApproved(dialogs, paths.package, approval.failure());
    return false;
  }
  if (!LoadPackageFrom(store, (*approval)->source(), paths.readme, dialogs, random, clock)) {
    return false;
  }
  const Result<signature::VerifiedSignature> verified = (*approval)->Finish();
  if (!verified) {
    store.Release();
    ShowNotApproved(dialogs, paths.package, verified.failure());
    return false;
  }
  return true;
}

}  // namespace qv
