#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/package_store.h"
#include "pattern_bytes.h"
#include "platform/clock.h"

namespace qv::test {

// One area of a fixture package. `length` defaults to the data's size; a different value makes
// a header that lies about the area.
struct FixtureArea {
  std::vector<uint8_t> data;
  uint32_t address = 0;
  std::array<uint8_t, 4> version_tag{};
  std::optional<uint32_t> length;
};

inline FixtureArea MakeArea(std::vector<uint8_t> data, uint32_t address,
                            std::array<uint8_t, 4> version_tag = {}) {
  return FixtureArea{std::move(data), address, version_tag, std::nullopt};
}

// A package as its maker lays it out: header, then each present area, padded with 0xFF to a
// whole KiB. Unlike the product's builder it accepts any addresses and lengths, so tests can
// feed the updater packages it must cope with (misaligned, overlapping, partial pages).
struct FixturePackage {
  std::optional<FixtureArea> program, sound, map;
  uint32_t scramble_count = 0;
  // Addresses written for absent areas.
  uint32_t absent_sound_address = 0x407FFFF0;
  uint32_t absent_map_address = 0x407FFFFF;
  // Areas are padded to a whole KiB (so check bytes cover their own area), or else only to a
  // whole page.
  bool pad_to_kib = true;
};

// The package file: a random key block followed by the scrambled package data.
std::vector<uint8_t> FixtureFile(const FixturePackage& package);

// Loads the fixture through the product's loader. Fails the test on a load failure.
void LoadFixture(const FixturePackage& package, PackageStore& store, Clock& clock);

// The three areas of a well-formed package: program 0x5000 bytes at 0x40010000, sound 0x3000 at
// 0x40100000, map 0x2F00 (+ prefix 0x3000) at 0x40200000.
FixturePackage ThreeAreaPackage();

}  // namespace qv::test
