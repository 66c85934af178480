#include <algorithm>
#include <cstring>
#include <string>

#include "package/descramble.h"
#include "package/package_load.h"
#include "package/package_messages.h"

namespace qv {
namespace {

// Large reads straight into the image; a multiple of the key block so chunks stay aligned.
constexpr std::size_t kReadBlock = 1024 * 1024;

// Why the length check failed: the system's reason for a read it broke off, else what the
// lengths say (a file too short to be a package, or one that changed under the read).
std::string ReadFailureReason(const PackageSource& source, uint64_t length, uint64_t read) {
  std::string reason = source.FailureReason();
  if (!reason.empty()) return reason;
  if (length < kKeyBlockSize) {
    return std::to_string(length) + " bytes, shorter than the " + std::to_string(kKeyBlockSize) +
           "-byte key block every package starts with";
  }
  return "it changed while it was read (" + std::to_string(read) + " bytes read, " +
         std::to_string(length) + " bytes now)";
}

}  // namespace

Result<> ReadPackageFrom(PackageStore& store, PackageSource& source) {
  store.data_length = 0;
  store.position = 0;
  if (!source.Open()) {
    if (store.image) std::memset(store.image.get(), 0xFF, store.image_size);
    return Failure{kMsgNoPackageFile, FileDetail(source.Name(), source.FailureReason())};
  }
  // A source shorter than the key block leaves the rest of the key zero; its length check fails.
  KeyBlock key{};
  (void)source.Read(key.data(), key.size());
  const ScrambleMask mask(key);

  const uint32_t capacity = store.image ? store.image_size : 0;
  while (store.position < capacity) {
    const std::size_t want = std::min<std::size_t>(kReadBlock, capacity - store.position);
    uint8_t* at = store.image.get() + store.position;
    const std::size_t n = source.Read(at, want);
    mask.Apply({at, n}, store.position);
    store.position += static_cast<uint32_t>(n);
    if (n < want) break;
  }
  store.data_length = store.position;
  if (store.image) std::memset(store.image.get() + store.position, 0xFF, capacity - store.position);

  const uint64_t length = source.Length();
  source.Close();
  const uint64_t read = uint64_t{store.data_length} + kKeyBlockSize;
  if (length != read) {
    const std::string reason = ReadFailureReason(source, length, read);
    return Failure{kMsgReadFileError, FileDetail(source.Name(), reason)};
  }
  return {};
}

Result<> ReadPackage(PackageStore& store, const std::filesystem::path& path) {
  FilePackageSource source(path);
  return ReadPackageFrom(store, source);
}

}  // namespace qv
