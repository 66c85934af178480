#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/package_source.h"
#include "platform/sha256.h"

namespace qv::station {

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
