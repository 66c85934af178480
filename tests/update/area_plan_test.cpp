#include "update/area_plan.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/little_endian.h"

namespace qv {
namespace {

constexpr uint32_t kAbsent = 0xFFFFFFFF;

struct AreaShape {
  uint32_t length = kAbsent;
  uint32_t address = 0;
};

// A store whose header copy describes the given areas laid out one after another in the data.
PackageStore MakeStore(AreaShape program, AreaShape sound, AreaShape map) {
  PackageStore store;
  const AreaShape shapes[] = {program, sound, map};
  uint32_t offset = kHeaderSize;
  for (int i = 0; i < 3; ++i) {
    uint8_t* descriptor = store.header_copy.data() + 32 + 16 * i;
    const bool present = shapes[i].length != kAbsent;
    StoreLe32(descriptor, offset);
    StoreLe32(descriptor + 4, shapes[i].length);
    StoreLe32(descriptor + 8, shapes[i].address);
    if (present && i != 2) offset += shapes[i].length;
  }
  store.data_length = offset;
  store.image_size = offset + 8192;
  store.image = std::make_unique<uint8_t[]>(store.image_size);
  if (map.length != kAbsent) {
    store.map_buffer_size = map.length + 8192;
    store.map_buffer = std::make_unique<uint8_t[]>(store.map_buffer_size);
  }
  return store;
}

struct Geometry {
  uint32_t start_sector, sector_count, start_page, page_count;
};

void ExpectGeometry(const AreaWrite& area, Geometry expected, const char* what) {
  SCOPED_TRACE(what);
  ASSERT_TRUE(area.present);
  EXPECT_EQ(area.start_sector, expected.start_sector);
  EXPECT_EQ(area.sector_count, expected.sector_count);
  EXPECT_EQ(area.start_page, expected.start_page);
  EXPECT_EQ(area.page_count, expected.page_count);
}

TEST(AreaPlan, GeometryOfSingleAreas) {
  struct Case {
    const char* name;
    AreaShape program;
    Geometry expected;
  };
  const Case cases[] = {
      {"one sector", {0x1000, 0x40010000}, {0x10, 1, 0x100, 16}},
      {"one byte more: two sectors, last page padded", {0x1001, 0x40010000}, {0x10, 2, 0x100, 17}},
      {"one page", {0x100, 0x40020000}, {0x20, 1, 0x200, 1}},
      {"partial page only", {6, 0x40020000}, {0x20, 1, 0x200, 1}},
      // Not sector-aligned: the pages start in sector 0x10 and reach into sector 0x11, so both
      // are erased (a plain ceil(length / 4096) would leave page 0x110 unerased).
      {"page-aligned, not sector-aligned", {0x1000, 0x40010F00}, {0x10, 2, 0x10F, 16}},
      // Not even page-aligned: the data goes from the page holding the address.
      {"inside a page", {0x200, 0x40010F80}, {0x10, 2, 0x10F, 2}},
      {"last sector of the window", {0x1000, 0x407FF000}, {0x7FF, 1, 0x7FF0, 16}},
  };
  for (const Case& c : cases) {
    PackageStore store = MakeStore(c.program, {}, {});
    const AreaPlan plan = PlanAreas(store);
    ASSERT_EQ(plan.status, PlanStatus::kOk) << c.name;
    ExpectGeometry(plan.areas[kProgramArea], c.expected, c.name);
    EXPECT_FALSE(plan.areas[kSoundArea].present);
    EXPECT_FALSE(plan.areas[kMapArea].present);
    EXPECT_EQ(plan.areas[kProgramArea].data, store.image.get() + kHeaderSize);
    EXPECT_EQ(plan.areas[kProgramArea].data_length, c.program.length);
  }
}

TEST(AreaPlan, MapCarriesItsPrefix) {
  struct Case {
    uint32_t map_length;
    Geometry expected;
  };
  const Case cases[] = {
      {4096 - 256, {0x100, 1, 0x1000, 16}},
      {4096 - 255, {0x100, 2, 0x1000, 17}},
      {0x20000, {0x100, 33, 0x1000, 513}},
      {0, {0x100, 1, 0x1000, 1}},
  };
  for (const Case& c : cases) {
    PackageStore store = MakeStore({0x1000, 0x40010000}, {}, {c.map_length, 0x40100000});
    StoreLe32(store.header_copy.data() + 48 + 8, 0x40020000);
    const AreaPlan plan = PlanAreas(store);
    ASSERT_EQ(plan.status, PlanStatus::kOk) << c.map_length;
    ExpectGeometry(plan.areas[kMapArea], c.expected, "map");
    EXPECT_EQ(plan.areas[kMapArea].data, store.map_buffer.get());
    EXPECT_EQ(plan.areas[kMapArea].data_length, c.map_length + 256);
  }
}

TEST(AreaPlan, AlignedAreasApartKeepTheirPlainCounts) {
  PackageStore store = MakeStore({0x3000, 0x40010000}, {0x2400, 0x40020000}, {0x7F00, 0x40030000});
  const AreaPlan plan = PlanAreas(store);
  ASSERT_EQ(plan.status, PlanStatus::kOk);
  ExpectGeometry(plan.areas[kProgramArea], {0x10, 3, 0x100, 0x30}, "program");
  ExpectGeometry(plan.areas[kSoundArea], {0x20, 3, 0x200, 0x24}, "sound");
  ExpectGeometry(plan.areas[kMapArea], {0x30, 8, 0x300, 0x80}, "map");
  EXPECT_EQ(plan.areas[kSoundArea].data, store.image.get() + kHeaderSize + 0x3000);
}

TEST(AreaPlan, RefusesLayoutsThatWouldLoseData) {
  struct Case {
    const char* name;
    AreaShape program, sound, map;
    PlanStatus expected;
  };
  const Case cases[] = {
      {"program runs into the sound area",
       {0x1100, 0x40010000},
       {0x100, 0x40011000},
       {},
       PlanStatus::kAreasOverlap},
      {"program and sound share a sector",
       {0x100, 0x40010000},
       {0x100, 0x40010800},
       {},
       PlanStatus::kAreasOverlap},
      {"sound and map share a sector",
       {0x100, 0x40010000},
       {0x100, 0x40020000},
       {0x100, 0x40020F00},
       PlanStatus::kAreasOverlap},
      {"program and map share a sector, sound absent",
       {0x1000, 0x40010000},
       {kAbsent, 0x40011000},
       {0x100, 0x40010F00},
       PlanStatus::kAreasOverlap},
      {"sound runs past the window",
       {0x100, 0x40010000},
       {0x2000, 0x407FF000},
       {kAbsent, 0x407FFFFF},
       PlanStatus::kAreaOutside},
      {"adjacent sectors are fine",
       {0x1000, 0x40010000},
       {0x1000, 0x40011000},
       {0xF00, 0x40012000},
       PlanStatus::kOk},
  };
  for (const Case& c : cases) {
    PackageStore store = MakeStore(c.program, c.sound, c.map);
    EXPECT_EQ(PlanAreas(store).status, c.expected) << c.name;
  }
}

TEST(AreaPlan, RefusesAreasOutsideThePackageData) {
  PackageStore store = MakeStore({0x1000, 0x40010000}, {0x1000, 0x40020000}, {});
  StoreLe32(store.header_copy.data() + 48 + 8 + 8, 0x40030000);  // absent map address
  ASSERT_EQ(PlanAreas(store).status, PlanStatus::kOk);

  // The sound area's offset points past the end of the data.
  StoreLe32(store.header_copy.data() + 48, store.data_length - 0xFFF);
  EXPECT_EQ(PlanAreas(store).status, PlanStatus::kAreaOutside);
  // Offset + length wrapping around 32 bits must not pass either.
  StoreLe32(store.header_copy.data() + 48, 0xFFFFF000);
  EXPECT_EQ(PlanAreas(store).status, PlanStatus::kAreaOutside);
}

TEST(AreaPlan, RefusesAMapLongerThanItsBuffer) {
  PackageStore store = MakeStore({0x1000, 0x40010000}, {}, {0x1000, 0x40100000});
  StoreLe32(store.header_copy.data() + 48 + 8, 0x40020000);
  store.map_buffer_size = 0x1000;  // the prefix no longer fits
  EXPECT_EQ(PlanAreas(store).status, PlanStatus::kAreaOutside);
}

TEST(AreaPlan, EmptyAreaHasNothingToEraseOrWrite) {
  PackageStore store = MakeStore({0x1000, 0x40010000}, {0, 0x40020800}, {});
  StoreLe32(store.header_copy.data() + 64 + 8, 0x40030000);
  const AreaPlan plan = PlanAreas(store);
  ASSERT_EQ(plan.status, PlanStatus::kOk);
  EXPECT_TRUE(plan.areas[kSoundArea].present);
  EXPECT_EQ(plan.areas[kSoundArea].page_count, 0u);
  EXPECT_EQ(plan.areas[kSoundArea].sector_count, 0u);
  EXPECT_EQ(plan.areas[kSoundArea].start_sector, 0x20u);
}

}  // namespace
}  // namespace qv
