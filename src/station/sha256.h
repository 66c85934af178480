#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "package/package_source.h"

namespace qv::station {

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

// A package source that hashes the bytes the loader reads from it. The loader opens its source
// twice (to measure it, then to read it); every open starts the hash again, so after the load
// it is the hash of exactly the bytes that were loaded, whatever the file holds by then.
class HashingPackageSource final : public PackageSource {
 public:
  explicit HashingPackageSource(PackageSource& inner) : inner_(inner) {}

  [[nodiscard]] bool Open() override;
  [[nodiscard]] std::size_t Read(uint8_t* out, std::size_t size) override;
  [[nodiscard]] uint64_t Length() override { return inner_.Length(); }
  void Close() override { inner_.Close(); }
  [[nodiscard]] std::string FailureReason() const override { return inner_.FailureReason(); }
  [[nodiscard]] std::string Name() const override { return inner_.Name(); }

  [[nodiscard]] std::string HexDigest() { return hash_.HexDigest(); }

 private:
  PackageSource& inner_;
  Sha256 hash_;
};

}  // namespace qv::station
