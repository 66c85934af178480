#include "signature/minisign.h"

#include <sodium.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace qv::signature {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::size_t kPublicKeyBytes = 2 + 8 + 32;
constexpr std::size_t kSignatureBytes = 2 + 8 + 64;

// libsodium's own set-up, once; its verification functions need none, but its hash picks its
// implementation there.
bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

// The text's lines, each without its line end (LF or CR LF).
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Exactly `size` bytes of standard base64; false for anything else (other characters, another
// length, text after the padding).
bool DecodeBase64(std::string_view text, std::span<uint8_t> out) {
  if (text.empty() || text.size() > 4 * ((out.size() + 2) / 3)) return false;
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &length, &end,
                        sodium_base64_VARIANT_ORIGINAL) != 0) {
    return false;
  }
  return length == out.size() && end == text.data() + text.size();
}

Failure Malformed(const std::string& name, std::string what) {
  return Failure{std::string(text::kMalformedSignature) + ": " + name, std::move(what)};
}

}  // namespace

struct SignedMessage::Hash {
  crypto_generichash_state state;
};

std::string KeyIdText(const KeyId& id) {
  uint64_t number = 0;
  for (auto byte = id.rbegin(); byte != id.rend(); ++byte) number = number << 8 | *byte;
  char text[17];
  std::snprintf(text, sizeof text, "%" PRIX64, number);
  return text;
}

Result<PublicKey> ParsePublicKey(std::string_view text, const std::string& name) {
  const Failure malformed{std::string(text::kMalformedKey) + ": " + name,
                          "expected an \"untrusted comment:\" line and the key in base64, as "
                          "minisign -G writes it"};
  std::string_view line;
  for (std::string_view candidate : Lines(text)) {
    candidate = Trimmed(candidate);
    if (candidate.empty() || candidate.starts_with(kUntrustedPrefix)) continue;
    if (!line.empty()) return malformed;  // a second key, or anything else
    line = candidate;
  }
  std::array<uint8_t, kPublicKeyBytes> bytes{};
  if (!SodiumReady() || line.empty() || !DecodeBase64(line, bytes)) return malformed;
  if (bytes[0] != 'E' || bytes[1] != 'd') {
    return Failure{malformed.message, "its algorithm is not Ed25519"};
  }
  PublicKey key;
  std::copy_n(bytes.begin() + 2, key.id.size(), key.id.begin());
  std::copy_n(bytes.begin() + 2 + key.id.size(), key.key.size(), key.key.begin());
  key.file = name;
  return key;
}

Result<Signature> ParseSignature(std::string_view text, const std::string& name) {
  if (!SodiumReady()) return Malformed(name, "the signature library could not start");
  const std::vector<std::string_view> lines = Lines(text);
  if (lines.empty() || !lines[0].starts_with(kUntrustedPrefix)) {
    return Malformed(name, "it does not start with an \"untrusted comment:\" line");
  }
  if (lines.size() < 2) return Malformed(name, "it ends before the signature line");
  std::array<uint8_t, kSignatureBytes> bytes{};
  if (!DecodeBase64(Trimmed(lines[1]), bytes)) {
    return Malformed(name, "its second line is not a signature in base64");
  }
  Signature signature;
  if (bytes[0] == 'E' && bytes[1] == 'd') {
    signature.form = SignatureForm::kLegacy;
  } else if (bytes[0] == 'E' && bytes[1] == 'D') {
    signature.form = SignatureForm::kPrehashed;
  } else {
    return Malformed(name, "its signature algorithm is neither Ed25519 nor prehashed Ed25519");
  }
  std::copy_n(bytes.begin() + 2, signature.key_id.size(), signature.key_id.begin());
  std::copy_n(bytes.begin() + 2 + signature.key_id.size(), signature.signature.size(),
              signature.signature.begin());
  if (lines.size() < 3 || !lines[2].starts_with(kTrustedPrefix)) {
    return Malformed(name, "its third line is not a \"trusted comment:\" line");
  }
  signature.trusted_comment = std::string(lines[2].substr(kTrustedPrefix.size()));
  if (lines.size() < 4 || !DecodeBase64(Trimmed(lines[3]), signature.global_signature)) {
    return Malformed(name, "its fourth line is not the trusted comment's signature in base64");
  }
  for (std::size_t i = 4; i < lines.size(); ++i) {
    if (!Trimmed(lines[i]).empty()) return Malformed(name, "it holds more than a signature");
  }
  return signature;
}

SignedMessage::SignedMessage(SignatureForm form) : form_(form), hash_(std::make_unique<Hash>()) {
  Restart();
}

SignedMessage::~SignedMessage() = default;

void SignedMessage::Restart() {
  length_ = 0;
  bytes_.clear();
  if (form_ == SignatureForm::kPrehashed && SodiumReady()) {
    crypto_generichash_init(&hash_->state, nullptr, 0, crypto_generichash_BYTES_MAX);
  }
}

void SignedMessage::Add(std::span<const uint8_t> bytes) {
  length_ += bytes.size();
  if (form_ == SignatureForm::kPrehashed) {
    crypto_generichash_update(&hash_->state, bytes.data(), bytes.size());
  } else if (length_ <= kMaxLegacyMessage) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
}

Result<VerifiedSignature> Verify(const Signature& signature, std::span<const PublicKey> keys,
                                 SignedMessage& message) {
  const std::string id = KeyIdText(signature.key_id);
  std::vector<const PublicKey*> candidates;
  std::string trusted;
  for (const PublicKey& key : keys) {
    if (key.id == signature.key_id) candidates.push_back(&key);
    trusted += (trusted.empty() ? "" : ", ") + KeyIdText(key.id);
  }
  if (candidates.empty()) {
    return Failure{std::string(text::kKeyNotTrusted) + " (key " + id + ")",
                   keys.empty() ? std::string("no key is trusted") : "trusted: " + trusted};
  }
  if (!SodiumReady()) {
    return Failure{text::kSignatureMismatch, "the signature library could not start"};
  }
  if (message.form() != signature.form) {
    return Failure{text::kSignatureMismatch, "the package was read for another signature form"};
  }
  std::array<uint8_t, crypto_generichash_BYTES_MAX> hash{};
  std::span<const uint8_t> signed_bytes;
  if (signature.form == SignatureForm::kPrehashed) {
    crypto_generichash_final(&message.hash_->state, hash.data(), hash.size());
    signed_bytes = hash;
  } else {
    if (message.length() > kMaxLegacyMessage) {
      return Failure{text::kSignatureMismatch,
                     "a legacy signature is checked only for files up to " +
                         std::to_string(kMaxLegacyMessage >> 20) +
                         " MiB; sign larger ones prehashed (minisign's default)"};
    }
    signed_bytes = message.bytes_;
  }
  // The global signature covers the file's signature and the trusted comment as written.
  std::vector<uint8_t> global(signature.signature.begin(), signature.signature.end());
  global.insert(global.end(), signature.trusted_comment.begin(), signature.trusted_comment.end());
  for (const PublicKey* key : candidates) {
    if (crypto_sign_verify_detached(signature.signature.data(), signed_bytes.data(),
                                    signed_bytes.size(), key->key.data()) != 0) {
      continue;
    }
    if (crypto_sign_verify_detached(signature.global_signature.data(), global.data(),
                                    global.size(), key->key.data()) != 0) {
      return Failure{text::kSignatureMismatch,
                     "its trusted comment is not the one signed with key " + id};
    }
    return VerifiedSignature{id, signature.trusted_comment, key->file};
  }
  return Failure{text::kSignatureMismatch,
                 "signed with key " + id + ", but over other bytes: the package was changed "
                 "or the signature is another file's"};
}

}  // namespace qv::signature
