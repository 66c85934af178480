#include "platform/sha256.h"

#include <cstdio>

namespace qv {

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

}  // namespace qv
