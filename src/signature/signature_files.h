#pragma once

// Signature checks on files: trusted keys read from .pub files or a folder of them, a package
// checked against its PACKAGE.minisig. What the wizard and qvupdate call; see minisign.h for the
// format and the messages.

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/result.h"
#include "signature/minisign.h"

namespace qv::signature {

// The longest key or signature file read; minisign's are a few hundred bytes.
inline constexpr std::size_t kMaxKeyOrSignatureFile = 64 * 1024;

// The trusted keys at a path: a minisign public key file, or a folder, where every *.pub file
// in it is one (none there is a failure, as is a .pub that is no key: a key folder is kept by
// hand, and a key silently left out would refuse every package it signed).
[[nodiscard]] Result<std::vector<PublicKey>> ReadTrustedKeys(const std::string& path);
// The keys of every path, in order.
[[nodiscard]] Result<std::vector<PublicKey>> ReadTrustedKeys(std::span<const std::string> paths);

// The signature file beside a package: PACKAGE.minisig.
[[nodiscard]] std::string SignaturePathFor(const std::string& package);

// The signature in the file. Its absence is text::kNoSignatureFile with the path in the message;
// a file that is not a signature is text::kMalformedSignature.
[[nodiscard]] Result<Signature> ReadSignatureFile(const std::string& path);

// Checks the package file against the signature file (empty: PACKAGE.minisig) with the trusted
// keys. The failure is one of the four cases: no signature file, malformed signature, key not
// trusted, signature does not match (text::, first words of the message); a package that cannot
// be read is said with the system's reason.
[[nodiscard]] Result<VerifiedSignature> VerifyPackageFile(const std::string& package,
                                                          std::span<const PublicKey> keys,
                                                          const std::string& signature_file = {});

}  // namespace qv::signature
