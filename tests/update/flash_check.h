#pragma once

#include <cstdint>
#include <vector>

#include "package_fixture.h"

namespace qv::test {

// Checks, with this file's own arithmetic, that a flash window (index 0 = 0x40000000) holds
// the package: the program and sound bytes, the map prefix followed by the map scrambled with
// the key derived from that prefix, and the check-code and info blocks whose masked words
// decode to the areas' lengths, sums and addresses.
void ExpectFlashHoldsPackage(const std::vector<uint8_t>& flash, const FixturePackage& package);

}  // namespace qv::test
