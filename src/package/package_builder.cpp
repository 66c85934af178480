#include "package/package_builder.h"

#include <algorithm>

#include "package/descramble.h"
#include "package/package_map.h"
#include "platform/hex_text.h"
#include "platform/little_endian.h"

namespace qv {
namespace {

uint64_t PaddedLength(const BuildArea& area) {
  return (area.data.size() + kKiB - 1) / kKiB * kKiB;
}

// Flash bytes an area occupies from its address: the map carries its 256-byte prefix.
uint64_t FlashExtent(const BuildArea& area, int index) {
  return PaddedLength(area) + (index == kMapArea ? kMapPrefixSize : 0);
}

// Erase covers whole sectors from the area's start, so overlap is judged on whole sectors.
uint64_t ErasedEnd(uint32_t address, uint64_t extent) {
  return address + (extent + kFlashSectorSize - 1) / kFlashSectorSize * kFlashSectorSize;
}

std::string CheckInputs(const BuildInput& input) {
  if (!input.areas[kProgramArea].present) return "a program area is required";
  if (input.text1.size() > kText1Size) return "text1 is longer than 8 bytes";
  if (input.text2.size() > kText2Size) return "text2 is longer than 10 bytes";
  for (int i = 0; i < kAreaCount; ++i) {
    const BuildArea& area = input.areas[i];
    if (!area.present) continue;
    if (!area.address) return std::string("the ") + kAreaNames[i] + " area needs a flash address";
    if (PaddedLength(area) > kMaxPackageLength) {
      return std::string("the ") + kAreaNames[i] + " area is too large";
    }
  }
  return {};
}

std::string CheckAddresses(const BuildInput& input, const std::array<uint32_t, 3>& address) {
  const uint32_t p = address[kProgramArea];
  const uint32_t s = address[kSoundArea];
  const uint32_t m = address[kMapArea];
  if (p >= s || s >= m || p < kLowestAreaAddress || m >= kFlashWindowEnd) {
    return "flash addresses must satisfy 0x40010000 <= program < sound < map <= 0x407fffff "
           "(program " +
           HexNumber(p) + ", sound " + HexNumber(s) + ", map " + HexNumber(m) + ")";
  }
  for (int i = 0; i < kAreaCount; ++i) {
    if (!input.areas[i].present) continue;
    // The updater erases whole sectors from an area's start on, so an area must start a
    // sector and no two areas may share one.
    if (address[i] % kFlashSectorSize != 0) {
      return std::string("the ") + kAreaNames[i] + " area address " + HexNumber(address[i]) +
             " does not start a 4096-byte flash sector";
    }
    const uint64_t end = uint64_t{address[i]} + FlashExtent(input.areas[i], i);
    if (end > kFlashWindowEnd) {
      return std::string("the ") + kAreaNames[i] + " area (" + HexNumber(address[i]) + " to " + HexNumber(end) +
             ") is too large for the flash window ending at 0x40800000";
    }
  }
  for (int a = 0; a < kAreaCount; ++a) {
    for (int b = a + 1; b < kAreaCount; ++b) {
      if (!input.areas[a].present || !input.areas[b].present) continue;
      // Addresses are ordered, so area a lies below area b.
      if (ErasedEnd(address[a], FlashExtent(input.areas[a], a)) > address[b]) {
        return std::string("the ") + kAreaNames[a] + " and " + kAreaNames[b] +
               " areas overlap in flash (sectors are erased whole)";
      }
    }
  }
  return {};
}

uint8_t XorOf(const uint8_t* data, uint64_t size) {
  uint8_t x = 0;
  for (uint64_t i = 0; i < size; ++i) x ^= data[i];
  return x;
}

void WriteHeader(const BuildInput& input, const std::array<uint32_t, 3>& address,
                 const std::array<uint64_t, 3>& offset, uint8_t* header) {
  std::copy(input.text1.begin(), input.text1.end(), header + kText1Offset);
  std::copy(input.text2.begin(), input.text2.end(), header + kText2Offset);
  StoreLe32(header + kScrambleCountOffset, input.scramble_count);
  for (int i = 0; i < kAreaCount; ++i) {
    const BuildArea& area = input.areas[i];
    uint8_t* d = header + kDescriptorOffset + kDescriptorSize * i;
    StoreLe32(d, area.present ? static_cast<uint32_t>(offset[i]) : 0u);
    StoreLe32(d + 4, area.present ? static_cast<uint32_t>(PaddedLength(area)) : kAbsentLength);
    StoreLe32(d + 8, address[i]);
    std::copy(area.version_tag.begin(), area.version_tag.end(), d + 12);
  }
}

}  // namespace

std::array<uint32_t, kAreaCount> ResolveAddresses(const BuildInput& input) {
  const auto& areas = input.areas;
  std::array<uint32_t, kAreaCount> address{};
  address[kProgramArea] = areas[kProgramArea].address.value_or(0);
  address[kMapArea] = areas[kMapArea].address.value_or(kAbsentMapAddress);
  address[kSoundArea] = areas[kSoundArea].address.value_or(address[kMapArea] - 1);
  return address;
}

Result<std::vector<uint8_t>> BuildPackage(const BuildInput& input, Random& random) {
  std::string problem = CheckInputs(input);
  if (problem.empty()) problem = CheckAddresses(input, ResolveAddresses(input));
  if (!problem.empty()) return Failure{problem};

  std::array<uint64_t, kAreaCount> offset{};
  uint64_t data_length = kHeaderSize;
  for (int i = 0; i < kAreaCount; ++i) {
    offset[i] = data_length;
    if (input.areas[i].present) data_length += PaddedLength(input.areas[i]);
  }
  if (data_length <= kHeaderSize) {
    return Failure{"the package holds no area bytes; the updater needs more than 128 bytes of data"};
  }
  if (data_length + kKeyBlockSize > kMaxPackageLength) {
    return Failure{"the package would be larger than 0x7f00000 bytes"};
  }

  std::vector<uint8_t> file(kKeyBlockSize + data_length, 0);
  uint8_t* data = file.data() + kKeyBlockSize;
  for (int i = 0; i < kAreaCount; ++i) {
    const BuildArea& area = input.areas[i];
    if (!area.present) continue;
    uint8_t* at = data + offset[i];
    std::fill_n(at, PaddedLength(area), uint8_t{0xFF});
    std::copy(area.data.begin(), area.data.end(), at);
    // Areas lie back to back in whole KiB, so an area's check byte is the XOR of its own bytes.
    data[kCheckByteOffset + i] = XorOf(at, PaddedLength(area));
  }
  WriteHeader(input, ResolveAddresses(input), offset, data);

  KeyBlock key{};
  for (auto& byte : key) byte = static_cast<uint8_t>(random.Next());
  std::copy(key.begin(), key.end(), file.begin());
  ScrambleMask(key).Apply({data, static_cast<std::size_t>(data_length)}, 0);
  return file;
}

}  // namespace qv
