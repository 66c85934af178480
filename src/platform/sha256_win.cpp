#include <windows.h>
// bcrypt.h needs windows.h first.
#include <bcrypt.h>

#include <algorithm>

#include "platform/sha256.h"

namespace qv {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// BCryptHashData counts in 32 bits.
constexpr std::size_t kLargestUpdate = 1u << 30;

// The system's SHA-256 provider, opened once for the process and shared by every hash; null
// when the system has none.
BCRYPT_ALG_HANDLE Sha256Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      return BCRYPT_ALG_HANDLE{nullptr};
    }
    return opened;
  }();
  return provider;
}

}  // namespace

struct Sha256::Context {
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool failed = false;

  void Close() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    hash = nullptr;
  }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) { Reset(); }

Sha256::~Sha256() { context_->Close(); }

void Sha256::Reset() {
  context_->Close();
  // The hash object's memory is left to the provider (no buffer given).
  const BCRYPT_ALG_HANDLE provider = Sha256Provider();
  context_->failed = provider == nullptr ||
                     !Succeeded(BCryptCreateHash(provider, &context_->hash, nullptr, 0, nullptr,
                                                 0, 0));
}

void Sha256::Update(const uint8_t* bytes, std::size_t size) {
  while (!context_->failed && size > 0) {
    const std::size_t chunk = std::min(size, kLargestUpdate);
    context_->failed = !Succeeded(BCryptHashData(context_->hash, const_cast<PUCHAR>(bytes),
                                                 static_cast<ULONG>(chunk), 0));
    bytes += chunk;
    size -= chunk;
  }
}

bool Sha256::Finish(std::array<uint8_t, kDigestSize>& digest) {
  return !context_->failed &&
         Succeeded(BCryptFinishHash(context_->hash, digest.data(),
                                    static_cast<ULONG>(digest.size()), 0));
}

}  // namespace qv
