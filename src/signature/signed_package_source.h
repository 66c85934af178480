#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/package_source.h"
#include "signature/minisign.h"

namespace qv::signature {

// A package source that gathers the bytes the loader reads from it for a signature check. The
// loader opens its source twice (to measure it, then to read it); every open starts again, so
// after the load the check is of exactly the bytes that were loaded, whatever the file holds by
// then.
class SignedPackageSource final : public PackageSource {
 public:
  SignedPackageSource(PackageSource& inner, SignedMessage& message)
      : inner_(inner), message_(message) {}

  [[nodiscard]] bool Open() override {
    message_.Restart();
    return inner_.Open();
  }
  [[nodiscard]] std::size_t Read(uint8_t* out, std::size_t size) override {
    const std::size_t n = inner_.Read(out, size);
    message_.Add({out, n});
    return n;
  }
  [[nodiscard]] uint64_t Length() override { return inner_.Length(); }
  void Close() override { inner_.Close(); }
  [[nodiscard]] std::string FailureReason() const override { return inner_.FailureReason(); }
  [[nodiscard]] std::string Name() const override { return inner_.Name(); }

 private:
  PackageSource& inner_;
  SignedMessage& message_;
};

}  // namespace qv::signature
