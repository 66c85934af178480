#pragma once

// Detached signatures in the minisign format: Ed25519 over the file's bytes (the legacy form)
// or over their BLAKE2b-512 hash (the prehashed form, minisign's default), and a second Ed25519
// signature over the first one and the trusted comment, so the comment cannot be changed either.
// Key and signature files are outside input: every field is checked before it is used.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace qv::signature {

using KeyId = std::array<uint8_t, 8>;

// A public key as a minisign .pub file holds it.
struct PublicKey {
  KeyId id = {};
  std::array<uint8_t, 32> key = {};
  std::string file = {};  // where it was read from, for messages; empty for a key given as text
};

enum class SignatureForm {
  kLegacy,     // "Ed": the signature is made over the bytes themselves
  kPrehashed,  // "ED": over their BLAKE2b-512 hash
};

// A signature file's contents.
struct Signature {
  SignatureForm form = SignatureForm::kPrehashed;
  KeyId key_id = {};
  std::array<uint8_t, 64> signature = {};
  std::string trusted_comment = {};  // the text after "trusted comment: ", as signed
  std::array<uint8_t, 64> global_signature = {};
};

// What a verified signature says.
struct VerifiedSignature {
  std::string key_id;           // as minisign shows it (KeyIdText)
  std::string trusted_comment;  // as signed; may hold any bytes, escape it before showing it
  std::string key_file;         // the trusted key that verified it
};

// The key id as minisign writes it: the 8 bytes read as a little-endian number, in upper-case
// hex without leading zeros ("minisign public key 1B858C55E79042C").
[[nodiscard]] std::string KeyIdText(const KeyId& id);

// A public key from the text of a .pub file (an "untrusted comment:" line, then the key in
// base64), or from the base64 line alone. The failure's message names `name`.
[[nodiscard]] Result<PublicKey> ParsePublicKey(std::string_view text, const std::string& name);

// A signature from the text of a .minisig file. The failure is kMalformedSignature, naming `name`,
// with what is wrong as its detail.
[[nodiscard]] Result<Signature> ParseSignature(std::string_view text, const std::string& name);

// What a signature is checked against, gathered piece by piece as the signed file is read: the
// BLAKE2b-512 hash for a prehashed signature, the bytes themselves for a legacy one (up to
// kMaxLegacyMessage bytes; past that the check fails and says so).
class SignedMessage {
 public:
  explicit SignedMessage(SignatureForm form);
  ~SignedMessage();
  SignedMessage(const SignedMessage&) = delete;
  SignedMessage& operator=(const SignedMessage&) = delete;

  // Starts again from no bytes.
  void Restart();
  void Add(std::span<const uint8_t> bytes);

  [[nodiscard]] SignatureForm form() const { return form_; }
  [[nodiscard]] uint64_t length() const { return length_; }

 private:
  friend Result<VerifiedSignature> Verify(const Signature&, std::span<const PublicKey>,
                                          SignedMessage&);
  struct Hash;
  SignatureForm form_;
  std::unique_ptr<Hash> hash_;
  std::vector<uint8_t> bytes_;
  uint64_t length_ = 0;
};

// A legacy signature holds the whole file in memory while it is checked; larger files must be
// signed prehashed (minisign's default).
inline constexpr uint64_t kMaxLegacyMessage = uint64_t{256} << 20;

// Checks the signature of the message against the trusted keys: the key that signed it must be
// among them, the signature must match the message and the global signature the trusted
// comment. The failure's message is one of kKeyNotTrusted or kSignatureMismatch (the first
// names the key). `message` must have been gathered for the signature's form; it is finished
// by the check.
[[nodiscard]] Result<VerifiedSignature> Verify(const Signature& signature,
                                               std::span<const PublicKey> keys,
                                               SignedMessage& message);

// The messages of a failed check, the first words of each Failure::message: a caller may tell
// the cases apart by them.
namespace text {
inline constexpr const char* kNoSignatureFile = "No signature file";
inline constexpr const char* kMalformedSignature = "Malformed signature";
inline constexpr const char* kKeyNotTrusted = "The package is signed with a key that is not trusted";
inline constexpr const char* kSignatureMismatch = "The signature does not match the package";
inline constexpr const char* kMalformedKey = "Not a minisign public key";
}  // namespace text

}  // namespace qv::signature
