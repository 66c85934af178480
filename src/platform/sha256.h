#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// A SHA-256 computed over bytes as they pass, by the system's own cryptography (OpenSSL on
// Linux, BCrypt on Windows).
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Starts again from no bytes.
  void Reset();
  void Update(const uint8_t* bytes, std::size_t size);
  // The digest of the bytes since the last reset as 64 lower-case hex digits; empty when the
  // system's digest failed.
  [[nodiscard]] std::string HexDigest();

 private:
  static constexpr std::size_t kDigestSize = 32;
  struct Context;
  // Ends the digest; false when the system's digest failed at any step.
  [[nodiscard]] bool Finish(std::array<uint8_t, kDigestSize>& digest);

  std::unique_ptr<Context> context_;
};

}  // namespace qv
