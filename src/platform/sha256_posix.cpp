#include <openssl/evp.h>

#include "platform/sha256.h"

namespace qv {

struct Sha256::Context {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> digest{EVP_MD_CTX_new(), EVP_MD_CTX_free};
  bool failed = false;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) { Reset(); }

Sha256::~Sha256() = default;

void Sha256::Reset() {
  context_->failed = !context_->digest ||
                     EVP_DigestInit_ex(context_->digest.get(), EVP_sha256(), nullptr) != 1;
}

void Sha256::Update(const uint8_t* bytes, std::size_t size) {
  if (context_->failed || size == 0) return;
  context_->failed = EVP_DigestUpdate(context_->digest.get(), bytes, size) != 1;
}

bool Sha256::Finish(std::array<uint8_t, kDigestSize>& digest) {
  unsigned int length = 0;
  return !context_->failed &&
         EVP_DigestFinal_ex(context_->digest.get(), digest.data(), &length) == 1 &&
         length == digest.size();
}

}  // namespace qv
