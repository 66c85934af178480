#include "package_fixture.h"

#include <gtest/gtest.h>

#include "package/package_load.h"
#include "package/package_source.h"
#include "platform/little_endian.h"
#include "platform/random.h"
#include "recording_dialogs.h"

namespace qv::test {
namespace {

constexpr uint32_t kKeyBlockSize = 1024;

uint32_t Padded(uint32_t length, uint32_t unit) {
  return (length + unit - 1) / unit * unit;
}

// The check byte as the updater computes it: whole KiB from a cursor that starts at the program
// offset and runs on through the following areas.
void StoreCheckBytes(std::vector<uint8_t>& data, const std::array<const FixtureArea*, 3>& areas,
                     uint32_t program_offset) {
  uint32_t cursor = program_offset;
  for (int i = 0; i < 3; ++i) {
    if (areas[i] == nullptr) continue;
    const uint32_t length = areas[i]->length.value_or(areas[i]->data.size());
    uint8_t x = 0;
    for (uint32_t n = (length / 1024) & 0xFFFF; n > 0; --n, cursor += 1024) {
      for (uint32_t j = 0; j < 1024 && cursor + j < data.size(); ++j) x ^= data[cursor + j];
    }
    data[80 + i] = x;
  }
}

}  // namespace

std::vector<uint8_t> FixtureFile(const FixturePackage& package) {
  const std::array<const FixtureArea*, 3> areas{package.program ? &*package.program : nullptr,
                                                package.sound ? &*package.sound : nullptr,
                                                package.map ? &*package.map : nullptr};
  std::vector<uint8_t> data(kHeaderSize, 0);
  StoreLe32(data.data() + 12, package.scramble_count);
  const uint32_t absent_addresses[3] = {0x40010000, package.absent_sound_address,
                                        package.absent_map_address};
  for (int i = 0; i < 3; ++i) {
    uint8_t* descriptor = data.data() + 32 + 16 * i;
    if (areas[i] == nullptr) {
      StoreLe32(descriptor + 4, 0xFFFFFFFF);
      StoreLe32(descriptor + 8, absent_addresses[i]);
      continue;
    }
    const FixtureArea& area = *areas[i];
    const uint32_t offset = static_cast<uint32_t>(data.size());
    StoreLe32(descriptor, offset);
    StoreLe32(descriptor + 4, area.length.value_or(area.data.size()));
    StoreLe32(descriptor + 8, area.address);
    std::copy(area.version_tag.begin(), area.version_tag.end(), descriptor + 12);
    data.insert(data.end(), area.data.begin(), area.data.end());
    data.resize(offset + Padded(area.data.size(), package.pad_to_kib ? 1024 : 256), 0xFF);
  }
  StoreCheckBytes(data, areas, LoadLe32(data.data() + 32));

  RuntimeRandom random;
  random.Seed(0x5EED);
  std::vector<uint8_t> file(kKeyBlockSize + data.size());
  for (uint32_t i = 0; i < kKeyBlockSize; ++i) file[i] = static_cast<uint8_t>(random.Next());
  for (std::size_t p = 0; p < data.size(); ++p) {
    file[kKeyBlockSize + p] = data[p] ^ static_cast<uint8_t>(file[p % kKeyBlockSize] >> 1);
  }
  return file;
}

void LoadFixture(const FixturePackage& package, PackageStore& store, Clock& clock) {
  const std::vector<uint8_t> file = FixtureFile(package);
  MemoryPackageSource source(file);
  RecordingDialogs dialogs;
  RuntimeRandom random;
  ASSERT_TRUE(LoadPackageFrom(store, source, "/nonexistent/readme.txt", dialogs, random, clock))
      << (dialogs.messages().empty() ? "" : dialogs.messages().front());
}

FixturePackage ThreeAreaPackage() {
  FixturePackage package;
  package.program = MakeArea(PatternBytes(0x5000, 1), 0x40010000, {'V', '1', '2', '3'});
  package.sound = MakeArea(PatternBytes(0x3000, 2), 0x40100000, {'S', '4', '5', '6'});
  package.map = MakeArea(PatternBytes(0x2F00, 3), 0x40200000, {'M', '7', '8', '9'});
  package.scramble_count = 0x123;
  return package;
}

}  // namespace qv::test
