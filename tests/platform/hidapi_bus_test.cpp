#include <gtest/gtest.h>

#include <vector>

#include "platform/hid_bus.h"

namespace qv {
namespace {

// Runs against the machine's real hidapi; on a machine without the device (CI) the list is
// empty, with it attached the entries must carry the ids asked for.
TEST(HidapiBusTest, EnumeratesOnlyTheRequestedIdsWithoutCrashing) {
  std::vector<HidInterfaceInfo> found{{"stale", 1, 2}};
  const bool enumerated = SystemHidBus().Enumerate(0x0416, 0xB501, found);
  if (!enumerated) {
    EXPECT_TRUE(found.empty());
  }
  for (const HidInterfaceInfo& info : found) {
    EXPECT_EQ(info.vendor_id, 0x0416);
    EXPECT_EQ(info.product_id, 0xB501);
    EXPECT_FALSE(info.path.empty());
  }
  // Twice, so that the one-time initialisation is not assumed to run on every call.
  EXPECT_TRUE(SystemHidBus().Enumerate(0x0416, 0xB501, found) || found.empty());
}

TEST(HidapiBusTest, OpeningAPathThatDoesNotExistGivesNoPort) {
  EXPECT_EQ(SystemHidBus().Open("/dev/qv-no-such-hidraw"), nullptr);
}

}  // namespace
}  // namespace qv
