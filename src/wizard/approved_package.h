#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "package/package_load.h"
#include "package/package_store.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/random.h"
#include "platform/result.h"
#include "signature/minisign.h"

namespace qv {

// Which signatures the wizard requires: the keys given with --require-signature, and every key
// (*.pub) installed in the system's trusted-keys folder. No key at all: no signature is required.
struct SignatureRequirement {
  std::vector<std::string> key_paths = {};  // files or folders of keys, from the command line
  std::filesystem::path trusted_keys_folder = {};  // empty: none
};

// The keys a package must be signed with, from the command line and the trusted-keys folder
// (absent, or holding no *.pub: none from there). A key that cannot be read is a failure: a
// requirement is never quietly dropped.
[[nodiscard]] Result<std::vector<signature::PublicKey>> RequiredKeys(
    const SignatureRequirement& requirement);

// LoadPackage, for a package that one of the keys must have signed (PACKAGE.minisig beside it):
// the signature is read before the package, and checked on the bytes the load read. False after
// its message box: the loader's, or one that names the package and says why it is not approved.
[[nodiscard]] bool LoadApprovedPackage(PackageStore& store, const PackagePaths& paths,
                                       std::vector<signature::PublicKey> keys, Dialogs& dialogs,
                                       Random& random, Clock& clock);

inline constexpr const char* kPackageNotApproved = "The package is not approved:";

}  // namespace qv
