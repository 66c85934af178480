#include "station/sha256.h"

#include <cstdio>

namespace qv::station {

std::string Sha256::HexDigest() {
  std::array<uint8_t, kDigestSize> digest{};
  const bool ok = Finish(digest);
  Reset();
  if (!ok) return {};
  std::string hex;
  for (const uint8_t byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

bool HashingPackageSource::Open() {
  hash_.Reset();
  return inner_.Open();
}

std::size_t HashingPackageSource::Read(uint8_t* out, std::size_t size) {
  const std::size_t n = inner_.Read(out, size);
  hash_.Update(out, n);
  return n;
}

}  // namespace qv::station
