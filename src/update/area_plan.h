#pragma once

#include <array>
#include <cstdint>

#include "package/package_header.h"
#include "package/package_map.h"
#include "package/package_store.h"
#include "platform/flash_units.h"

namespace qv {

inline constexpr uint32_t kFlashWindowSectors =
    (kFlashWindowEnd - kFlashWindowStart) / kFlashSectorSize;
inline constexpr uint16_t kAbsentSector = 0xFFFF;

// How one area goes to the device: which sectors are erased and which pages are written from
// which bytes.
//
// Pages are written from the page that holds the area's address. The erase covers every sector
// those pages touch, so no page is ever programmed over unerased flash; for a sector-aligned
// area this is ceil(bytes / 4096) sectors. An area whose length is not a whole number of pages
// gets its last page written too (so a 0x1001-byte program erases 2 sectors and writes 17
// pages; a 0x1000-byte one erases 1 sector and writes 16 pages). That page carries the bytes
// that follow the area in its buffer, exactly those the area sums take in, so the sums stored
// on the device match what its flash holds; 0xFF only where the buffer itself ends.
struct AreaWrite {
  bool present = false;
  uint32_t start_sector = kAbsentSector;
  uint32_t sector_count = 0;
  uint32_t start_page = 0;
  uint32_t page_count = 0;
  const uint8_t* data = nullptr;  // the area's bytes (the whole MapBuffer for the map)
  uint32_t data_length = 0;       // bytes of real data; page_count * 256 may be more
  uint32_t readable_length = 0;   // bytes that may be read from data: the area and what follows
};

enum class PlanStatus { kOk, kAreasOverlap, kAreaOutside };

struct AreaPlan {
  std::array<AreaWrite, kAreaCount> areas{};  // program, sound, map
  PlanStatus status = PlanStatus::kOk;
};

// Plans the erase and write of every present area from the header copy. Refuses areas that
// share a flash sector (the later erase would wipe what was already written), areas that run
// past the flash window, and areas whose bytes lie outside the package data or the map buffer.
[[nodiscard]] AreaPlan PlanAreas(const PackageStore& store);

}  // namespace qv
