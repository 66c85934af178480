#pragma once

#include <array>
#include <cstdint>

#include "package/package_store.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/random.h"

namespace qv {

inline constexpr uint32_t kMapPrefixSize = 256;
inline constexpr uint32_t kMapKeySize = 16;
// The map buffer and the package image are allocated this much larger than their contents.
inline constexpr uint32_t kBufferSlack = 8192;

using MapPrefix = std::array<uint8_t, kMapPrefixSize>;
using MapKey = std::array<uint8_t, kMapKeySize>;

// The 16-byte key that scrambles the leading map bytes; a function of the prefix alone.
[[nodiscard]] MapKey DeriveMapKey(const MapPrefix& prefix);

// The map step of the load: checks the map descriptor of the header copy and prepares the map
// buffer. True when there is no map or it was prepared; false after its one message (the caller
// releases the buffers). Besides the flash-window checks it refuses, with "Read file information
// faile !", a map whose bytes do not lie inside the package data.
[[nodiscard]] bool RunMapStep(PackageStore& store, Dialogs& dialogs, Random& random, Clock& clock);

// Fills the allocated map buffer: 256 random bytes seeded from the tick count, the map bytes
// from the image, the first ScrambleCount of them XORed with the key. Everything after the map
// is 0xFF, the erased-flash value, so every byte that is summed or sent is defined.
void PrepareMap(PackageStore& store, Random& random, Clock& clock);

}  // namespace qv
