#include "signature/signature_files.h"

#include <vector>

#include "platform/folder_listing.h"
#include "platform/path_kind.h"
#include "platform/regular_file.h"
#include "platform/utf8_path.h"

namespace qv::signature {
namespace {

// A small regular file whole; longer than `limit` is a failure.
Result<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
  RegularFile file;
  if (!file.Open(PathFromUtf8(path))) return Failure{file.failure_reason()};
  std::string text(limit + 1, '\0');
  std::size_t have = 0;
  while (have < text.size()) {
    const std::size_t got =
        file.Read(reinterpret_cast<uint8_t*>(text.data()) + have, text.size() - have);
    if (got == 0) break;
    have += got;
  }
  if (!file.failure_reason().empty()) return Failure{file.failure_reason()};
  if (have > limit) {
    return Failure{"longer than " + std::to_string(limit / 1024) + " KiB, which no key or "
                   "signature file is"};
  }
  text.resize(have);
  return text;
}

Result<PublicKey> ReadPublicKeyFile(const std::string& path) {
  const Result<std::string> text = ReadSmallFile(path, kMaxKeyOrSignatureFile);
  if (!text) return Failure{"Cannot read the key file " + path, text.failure().message};
  return ParsePublicKey(*text, path);
}

}  // namespace

Result<std::vector<PublicKey>> ReadTrustedKeys(const std::string& path) {
  if (!IsFolder(PathFromUtf8(path))) {
    Result<PublicKey> key = ReadPublicKeyFile(path);
    if (!key) return key.failure();
    return std::vector<PublicKey>{std::move(*key)};
  }
  const Result<std::vector<std::filesystem::path>> files = FilesInFolder(PathFromUtf8(path), ".pub");
  if (!files) return Failure{"Cannot read the key folder " + path, files.failure().message};
  if (files->empty()) return Failure{"No public key (*.pub) in the key folder " + path};
  std::vector<PublicKey> keys;
  for (const std::filesystem::path& file : *files) {
    Result<PublicKey> key = ReadPublicKeyFile(Utf8FromPath(file));
    if (!key) return key.failure();
    keys.push_back(std::move(*key));
  }
  return keys;
}

Result<std::vector<PublicKey>> ReadTrustedKeys(std::span<const std::string> paths) {
  std::vector<PublicKey> keys;
  for (const std::string& path : paths) {
    Result<std::vector<PublicKey>> more = ReadTrustedKeys(path);
    if (!more) return more.failure();
    keys.insert(keys.end(), more->begin(), more->end());
  }
  return keys;
}

std::string SignaturePathFor(const std::string& package) { return package + ".minisig"; }

Result<Signature> ReadSignatureFile(const std::string& path) {
  if (LookAtPath(PathFromUtf8(path)).is == PathKind::Is::kAbsent) {
    return Failure{std::string(text::kNoSignatureFile) + ": " + path};
  }
  const Result<std::string> text = ReadSmallFile(path, kMaxKeyOrSignatureFile);
  if (!text) return Failure{"Cannot read the signature file " + path, text.failure().message};
  return ParseSignature(*text, path);
}

Result<VerifiedSignature> VerifyPackageFile(const std::string& package,
                                            std::span<const PublicKey> keys,
                                            const std::string& signature_file) {
  const Result<Signature> signature =
      ReadSignatureFile(signature_file.empty() ? SignaturePathFor(package) : signature_file);
  if (!signature) return signature.failure();
  SignedMessage message(signature->form);
  RegularFile file;
  if (!file.Open(PathFromUtf8(package))) {
    return Failure{"Cannot read the package " + package, file.failure_reason()};
  }
  std::vector<uint8_t> chunk(std::size_t{1} << 20);
  for (;;) {
    const std::size_t got = file.Read(chunk.data(), chunk.size());
    message.Add(std::span(chunk).first(got));
    if (got < chunk.size()) break;
  }
  if (!file.failure_reason().empty()) {
    return Failure{"Cannot read the package " + package, file.failure_reason()};
  }
  return Verify(*signature, keys, message);
}

}  // namespace qv::signature
