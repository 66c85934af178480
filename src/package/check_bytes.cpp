#include <algorithm>
#include <cstring>

#include "package/package_checks.h"
#include "package/package_messages.h"
#include "platform/flash_units.h"

namespace qv {
namespace {

constexpr uint64_t kCheckBlock = kKiB;

uint8_t XorBlock(const uint8_t* block) {
  uint64_t x = 0;
  for (uint64_t i = 0; i < kCheckBlock; i += 8) {
    uint64_t word;
    std::memcpy(&word, block + i, 8);
    x ^= word;
  }
  x ^= x >> 32;
  x ^= x >> 16;
  x ^= x >> 8;
  return static_cast<uint8_t>(x);
}

}  // namespace

Result<> VerifyCheckBytes(const PackageStore& store) {
  // Every KiB taken must come from the package data; one that would not fails the check.
  const uint64_t data =
      store.image ? std::min<uint64_t>(store.data_length, store.image_size) : uint64_t{0};
  uint64_t cursor = ReadAreaDescriptor(store.header_copy, kProgramArea).offset;
  for (int i = 0; i < kAreaCount; ++i) {
    const AreaDescriptor area = ReadAreaDescriptor(store.header_copy, static_cast<AreaIndex>(i));
    if (!area.present()) continue;
    const uint32_t blocks = (area.length / kCheckBlock) & 0xFFFFu;  // a 16-bit count
    uint8_t x = 0;
    for (uint32_t n = 0; n < blocks; ++n, cursor += kCheckBlock) {
      if (cursor + kCheckBlock > data) {
        return Failure{kMsgCheckData};
      }
      x ^= XorBlock(store.image.get() + cursor);
    }
    if (x != area.check_byte) {
      return Failure{kMsgCheckData};
    }
  }
  return {};
}

}  // namespace qv
