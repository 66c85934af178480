#include "station/sha256.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>

namespace qv::station {

Sha256::Sha256() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) { Reset(); }

Sha256::~Sha256() = default;

void Sha256::Reset() {
  failed_ = !context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1;
}

void Sha256::Update(const uint8_t* bytes, std::size_t size) {
  if (failed_ || size == 0) return;
  failed_ = EVP_DigestUpdate(context_.get(), bytes, size) != 1;
}

std::string Sha256::HexDigest() {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  const bool ok = !failed_ && EVP_DigestFinal_ex(context_.get(), digest.data(), &length) == 1;
  Reset();
  if (!ok) return {};
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
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
