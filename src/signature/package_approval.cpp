#include "signature/package_approval.h"

#include "signature/signature_files.h"

namespace qv::signature {

Result<std::unique_ptr<PackageApproval>> PackageApproval::Begin(const std::string& package,
                                                                std::vector<PublicKey> keys,
                                                                PackageSource& inner,
                                                                const std::string& signature_file) {
  Result<Signature> signature =
      ReadSignatureFile(signature_file.empty() ? SignaturePathFor(package) : signature_file);
  if (!signature) return signature.failure();
  return std::unique_ptr<PackageApproval>(
      new PackageApproval(std::move(*signature), std::move(keys), inner));
}

PackageApproval::PackageApproval(Signature signature, std::vector<PublicKey> keys,
                                 PackageSource& inner)
    : signature_(std::move(signature)),
      keys_(std::move(keys)),
      message_(signature_.form),
      source_(inner, message_) {}

}  // namespace qv::signature
