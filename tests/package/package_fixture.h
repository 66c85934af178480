#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "package/package_header.h"
#include "package/package_store.h"
#include "pattern_bytes.h"
#include "platform/little_endian.h"
#include "platform/random.h"
#include "temp_folder.h"

namespace qv::test {

// A generator that returns scripted values (then 0) and remembers its seeds.
class ScriptedRandom final : public Random {
 public:
  void Seed(uint32_t seed) override { seeds.push_back(seed); }
  [[nodiscard]] uint32_t Next() override {
    if (values.empty()) return 0;
    const uint32_t v = values.front();
    values.pop_front();
    return v;
  }
  std::deque<uint32_t> values;
  std::vector<uint32_t> seeds;
};

// A package file written straight from the scrambling rule, byte by byte, independent of the
// product's own scrambler: file byte = data byte XOR (key[p % 1024] >> 1).
inline std::vector<uint8_t> ScrambledFile(const std::vector<uint8_t>& key,
                                          const std::vector<uint8_t>& data) {
  std::vector<uint8_t> file(key);
  for (std::size_t p = 0; p < data.size(); ++p) {
    file.push_back(static_cast<uint8_t>(data[p] ^ (key[p % 1024] >> 1)));
  }
  return file;
}

// Sets one descriptor in a header held at the front of a data vector.
inline void SetArea(std::vector<uint8_t>& data, AreaIndex area, uint32_t offset, uint32_t length,
                    uint32_t address) {
  uint8_t* d = data.data() + kDescriptorOffset + kDescriptorSize * area;
  StoreLe32(d, offset);
  StoreLe32(d + 4, length);
  StoreLe32(d + 8, address);
}

// Package data with a 128-byte header and only absent areas at ordered addresses.
inline std::vector<uint8_t> EmptyPackageData(std::size_t size) {
  std::vector<uint8_t> data(size, 0);
  SetArea(data, kProgramArea, 0, kAbsentLength, 0x40010000u);
  SetArea(data, kSoundArea, 0, kAbsentLength, 0x40100000u);
  SetArea(data, kMapArea, 0, kAbsentLength, 0x40200000u);
  return data;
}

// A store holding the given package data as a loaded image (8192 spare 0xFF bytes after it),
// with the header copy taken from it.
inline PackageStore StoreWithData(const std::vector<uint8_t>& data) {
  PackageStore store;
  store.image_size = static_cast<uint32_t>(data.size() + 1024 + 8192);
  store.image.reset(new uint8_t[store.image_size]);
  std::fill_n(store.image.get(), store.image_size, uint8_t{0xFF});
  std::copy(data.begin(), data.end(), store.image.get());
  store.data_length = static_cast<uint32_t>(data.size());
  for (uint32_t i = 0; i < kHeaderSize && i < data.size(); ++i) store.header_copy[i] = data[i];
  return store;
}

}  // namespace qv::test
