#pragma once

#include <memory>
#include <string>
#include <vector>

#include "package/package_source.h"
#include "platform/result.h"
#include "signature/minisign.h"
#include "signature/signed_package_source.h"

namespace qv::signature {

// The signature check of a package as it is loaded. The signature file is read first, so a
// package without a good one is never loaded; the loader then reads through source(), and
// Finish checks exactly the bytes it read, whatever the file holds by then.
class PackageApproval {
 public:
  // Reads PACKAGE.minisig (or `signature_file`); the failure is the signature file's (none, or
  // malformed).
  [[nodiscard]] static Result<std::unique_ptr<PackageApproval>> Begin(
      const std::string& package, std::vector<PublicKey> keys, PackageSource& inner,
      const std::string& signature_file = {});

  PackageApproval(const PackageApproval&) = delete;
  PackageApproval& operator=(const PackageApproval&) = delete;

  // What the loader reads the package through.
  [[nodiscard]] PackageSource& source() { return source_; }
  // After the load: the key and trusted comment that approve it, or why they do not.
  [[nodiscard]] Result<VerifiedSignature> Finish() { return Verify(signature_, keys_, message_); }

 private:
  PackageApproval(Signature signature, std::vector<PublicKey> keys, PackageSource& inner);

  Signature signature_;
  std::vector<PublicKey> keys_;
  SignedMessage message_;
  SignedPackageSource source_;
};

}  // namespace qv::signature
