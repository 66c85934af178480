#include "package/package_map.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "package/package_header.h"
#include "package/package_messages.h"

namespace qv {

MapKey DeriveMapKey(const MapPrefix& r) {
  const auto b = [](unsigned v) { return static_cast<uint8_t>(v); };
  MapKey k{};
  k[0] = b(r[5] - r[15]);
  k[1] = b(r[19] - r[23]);
  k[2] = b(r[106] * 4u);
  k[3] = r[101];
  k[4] = b(r[108] + k[2]);
  k[5] = b((unsigned{r[113]} + unsigned{r[114]}) / 2);  // summed in full before halving
  k[6] = b(r[97] ^ r[111]);
  k[7] = r[115];
  k[8] = b(r[99] + 33u);
  k[9] = r[104];
  k[10] = b(r[112] - k[1]);
  k[11] = r[6];
  k[12] = b(r[13] >> 1);
  k[13] = r[21];
  k[14] = b(r[24] - k[0]);
  k[15] = b(r[96] + k[6]);
  return k;
}

void PrepareMap(PackageStore& store, Random& random, Clock& clock) {
  const AreaDescriptor map = ReadAreaDescriptor(store.header_copy, kMapArea);
  uint8_t* buffer = store.map_buffer.get();
  const uint64_t size = store.map_buffer_size;
  if (buffer == nullptr || size < kMapPrefixSize) return;

  random.Seed(clock.TickMs());
  MapPrefix prefix{};
  for (auto& byte : prefix) byte = static_cast<uint8_t>(random.Next());
  const MapKey key = DeriveMapKey(prefix);

  // Copy only what both the buffer and the package data hold; the rest stays 0xFF.
  const uint64_t data = std::min(store.data_length, store.image ? store.image_size : 0u);
  const uint64_t available = map.offset < data ? data - map.offset : 0;
  const uint64_t copy = std::min({uint64_t{map.length}, available, size - kMapPrefixSize});
  std::memset(buffer, 0xFF, size);
  if (copy > 0) std::memcpy(buffer + kMapPrefixSize, store.image.get() + map.offset, copy);
  std::memcpy(buffer, prefix.data(), prefix.size());

  const uint64_t scrambled = std::min({uint64_t{ReadScrambleCount(store.header_copy)},
                                       uint64_t{map.length}, size - kMapPrefixSize});
  for (uint64_t i = 0; i < scrambled; ++i) buffer[kMapPrefixSize + i] ^= key[i % kMapKeySize];
}

bool RunMapStep(PackageStore& store, Dialogs& dialogs, Random& random, Clock& clock) {
  const AreaDescriptor map = ReadAreaDescriptor(store.header_copy, kMapArea);
  if (!map.present()) return true;
  const uint64_t map_end = uint64_t{map.offset} + map.length;
  if (map.length > kMaxPackageLength || map.address > kFlashWindowEnd ||
      map_end > store.data_length) {
    dialogs.ShowMessage(kMsgMapInformation);
    return false;
  }
  if (uint64_t{map.length} + kMapPrefixSize > kFlashWindowEnd - map.address) {
    dialogs.ShowMessage(kMsgMapExceedsFlash);
    return false;
  }
  if (store.map_buffer) {
    dialogs.ShowMessage(kMsgMapAlreadyHeld);
    return false;
  }
  const uint32_t size = map.length + kBufferSlack;
  store.map_buffer.reset(new (std::nothrow) uint8_t[size]);
  if (!store.map_buffer) {
    dialogs.ShowMessage(kMsgMapAlreadyHeld);
    return false;
  }
  store.map_buffer_size = size;
  PrepareMap(store, random, clock);
  return true;
}

}  // namespace qv
