#include "update/area_plan.h"

namespace qv {
namespace {

uint32_t DivideRoundingUp(uint64_t value, uint32_t unit) {
  return static_cast<uint32_t>((value + unit - 1) / unit);
}

// Fills the erase and write geometry of an area of `bytes` bytes at absolute `address`.
// Returns false when the pages would run past the flash window.
bool PlaceArea(uint32_t address, uint64_t bytes, AreaWrite& area) {
  if (address < kFlashWindowStart || address >= kFlashWindowEnd) return false;
  const uint32_t relative = address - kFlashWindowStart;
  area.start_page = relative / kFlashPageSize;
  area.start_sector = relative / kFlashSectorSize;
  const uint64_t page_count = DivideRoundingUp(bytes, kFlashPageSize);
  // An empty area keeps a sector count of 0; its erase then fails with the area's message.
  if (page_count == 0) return true;
  const uint64_t end_byte =
      static_cast<uint64_t>(area.start_page) * kFlashPageSize + page_count * kFlashPageSize;
  const uint64_t end_sector = DivideRoundingUp(end_byte, kFlashSectorSize);
  if (end_sector > kFlashWindowSectors) return false;
  area.page_count = static_cast<uint32_t>(page_count);
  area.sector_count = static_cast<uint32_t>(end_sector) - area.start_sector;
  return true;
}

PlanStatus PlanDataArea(const PackageStore& store, const AreaDescriptor& descriptor,
                        AreaWrite& area) {
  if (static_cast<uint64_t>(descriptor.offset) + descriptor.length > store.data_length ||
      store.image == nullptr || store.data_length > store.image_size) {
    return PlanStatus::kAreaOutside;
  }
  area.data = store.image.get() + descriptor.offset;
  area.data_length = descriptor.length;
  area.readable_length = store.image_size - descriptor.offset;
  return PlaceArea(descriptor.address, descriptor.length, area) ? PlanStatus::kOk
                                                                : PlanStatus::kAreaOutside;
}

PlanStatus PlanMapArea(const PackageStore& store, const AreaDescriptor& descriptor,
                       AreaWrite& area) {
  const uint64_t bytes = static_cast<uint64_t>(descriptor.length) + kMapPrefixSize;
  if (store.map_buffer == nullptr || bytes > store.map_buffer_size) return PlanStatus::kAreaOutside;
  area.data = store.map_buffer.get();
  area.data_length = static_cast<uint32_t>(bytes);
  area.readable_length = store.map_buffer_size;
  return PlaceArea(descriptor.address, bytes, area) ? PlanStatus::kOk : PlanStatus::kAreaOutside;
}

// Present areas whose erased sectors meet. The header's addresses are ordered program < sound
// < map, but only the start addresses are; the ends are checked here.
bool SectorsShared(const AreaPlan& plan) {
  const AreaWrite* previous = nullptr;
  for (const AreaWrite& area : plan.areas) {
    if (!area.present || area.page_count == 0) continue;  // an empty area erases nothing
    if (previous != nullptr) {
      const uint64_t previous_end =
          static_cast<uint64_t>(previous->start_sector) + previous->sector_count;
      if (area.start_sector < previous_end || area.start_sector < previous->start_sector) {
        return true;
      }
    }
    previous = &area;
  }
  return false;
}

}  // namespace

AreaPlan PlanAreas(const PackageStore& store) {
  AreaPlan plan;
  for (int index = 0; index < kAreaCount; ++index) {
    const AreaDescriptor descriptor =
        ReadAreaDescriptor(store.header_copy, static_cast<AreaIndex>(index));
    AreaWrite& area = plan.areas[index];
    if (!descriptor.present()) continue;
    area.present = true;
    const PlanStatus status = index == kMapArea ? PlanMapArea(store, descriptor, area)
                                                : PlanDataArea(store, descriptor, area);
    if (status != PlanStatus::kOk) {
      plan.status = status;
      return plan;
    }
  }
  if (SectorsShared(plan)) plan.status = PlanStatus::kAreasOverlap;
  return plan;
}

}  // namespace qv
