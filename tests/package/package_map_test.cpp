#include "package/package_map.h"

#include <gtest/gtest.h>

#include "fake_clock.h"
#include "package/package_load.h"
#include "package/package_messages.h"
#include "package_fixture.h"
#include "recording_dialogs.h"

namespace qv {
namespace {

using Messages = std::vector<std::string>;
using test::SetArea;

TEST(MapKeyTest, KnownPrefixes) {
  MapPrefix counting{};
  for (int i = 0; i < 256; ++i) counting[i] = static_cast<uint8_t>(i);
  // Worked by hand from the key table with R[i] = i.
  const MapKey expected = {246, 252, 168, 101, 20, 113, 14, 115, 132, 104, 116, 6, 6, 21, 34, 110};
  EXPECT_EQ(DeriveMapKey(counting), expected);

  MapPrefix r{};
  r[113] = 255;
  r[114] = 255;
  EXPECT_EQ(DeriveMapKey(r)[5], 255);  // 510 halved before it is cut to a byte
  r[106] = 0x40;
  EXPECT_EQ(DeriveMapKey(r)[2], 0);
  EXPECT_EQ(DeriveMapKey(r)[4], 0);  // R[108] + K[2]
  r[15] = 1;
  r[24] = 7;
  EXPECT_EQ(DeriveMapKey(r)[0], 255);  // 0 - 1 wraps
  EXPECT_EQ(DeriveMapKey(r)[14], 8);   // R[24] - K[0] = 7 - 255
}

class MapTest : public ::testing::Test {
 protected:
  // Package data with a map area of map_length bytes at offset 128 and a 2 KiB program after.
  std::vector<uint8_t> MapData(uint32_t map_length, uint32_t scramble_count,
                               uint32_t address = 0x40200000u) {
    std::vector<uint8_t> data = test::PatternBytes(128 + map_length + 2048, 11);
    std::copy_n(test::EmptyPackageData(128).begin(), 128, data.begin());
    SetArea(data, kMapArea, 128, map_length, address);
    SetArea(data, kProgramArea, 128 + map_length, 2048, 0x40010000u);
    StoreLe32(data.data() + 12, scramble_count);
    return data;
  }
  bool Load(const std::vector<uint8_t>& data) {
    file_ = test::ScrambledFile(std::vector<uint8_t>(1024, 0x55), data);
    MemoryPackageSource source(file_);
    return LoadPackageFrom(store_, source, {}, dialogs_, random_, clock_);
  }
  // The random values give prefix bytes i + 0x100 * i (only the low byte counts).
  void ScriptPrefix() {
    for (uint32_t i = 0; i < 256; ++i) random_.values.push_back(i * 0x101u);
  }

  std::vector<uint8_t> file_;
  PackageStore store_;
  test::RecordingDialogs dialogs_;
  test::ScriptedRandom random_;
  test::FakeClock clock_;
};

TEST_F(MapTest, BufferHoldsPrefixThenMapWithLeadingBytesScrambled) {
  struct Case {
    uint32_t map_length;
    uint32_t scramble_count;
  };
  for (const Case c :
       {Case{1000, 0}, Case{1000, 20}, Case{1000, 1000}, Case{1000, 0xFFFFFFFF}, Case{0, 5}}) {
    SCOPED_TRACE(testing::Message() << c.map_length << "/" << c.scramble_count);
    store_.Release();
    random_.seeds.clear();
    ScriptPrefix();
    const std::vector<uint8_t> data = MapData(c.map_length, c.scramble_count);
    ASSERT_TRUE(Load(data));
    ASSERT_EQ(store_.map_buffer_size, c.map_length + 8192);
    EXPECT_EQ(random_.seeds, std::vector<uint32_t>{clock_.TickMs()});

    MapPrefix prefix{};
    for (int i = 0; i < 256; ++i) {
      prefix[i] = static_cast<uint8_t>(i);
      ASSERT_EQ(store_.map_buffer[i], i);
    }
    const MapKey key = DeriveMapKey(prefix);
    const uint32_t scrambled = std::min(c.scramble_count, c.map_length);
    const uint8_t* map = store_.map_buffer.get() + 256;
    for (uint32_t i = 0; i < c.map_length; ++i) {
      const uint8_t original = data[128 + i];
      ASSERT_EQ(map[i], i < scrambled ? original ^ key[i % 16] : original) << i;
    }
    for (uint32_t i = 256 + c.map_length; i < store_.map_buffer_size; ++i) {
      ASSERT_EQ(store_.map_buffer[i], 0xFF) << "unfilled tail at " << i;
    }
    // The image keeps the map as read.
    EXPECT_TRUE(std::equal(data.begin(), data.end(), store_.image.get()));
  }
}

TEST_F(MapTest, ScrambledBytesSixteenApartShareAKeyByte) {
  ScriptPrefix();
  std::vector<uint8_t> data = MapData(64, 64);
  std::fill_n(data.begin() + 128, 64, uint8_t{0});
  ASSERT_TRUE(Load(data));
  const uint8_t* map = store_.map_buffer.get() + 256;
  for (int i = 0; i < 48; ++i) EXPECT_EQ(map[i], map[i + 16]) << i;
}

TEST_F(MapTest, MapStepRules) {
  struct Case {
    const char* name;
    uint32_t length;
    uint32_t address;
    const char* message;  // nullptr: loads
  };
  const Case cases[] = {
      {"address at the window end", 1024, 0x40800000u, kMsgMapExceedsFlash},
      {"address past the window end", 1024, 0x40800001u, kMsgMapInformation},
      {"one byte too long for the window", 0x1000 - 256 + 1, 0x407FF000u, kMsgMapExceedsFlash},
      {"exactly to the end", 0x1000 - 256, 0x407FF000u, nullptr},
  };
  for (const auto& c : cases) {
    store_.Release();
    test::RecordingDialogs dialogs;
    file_ = test::ScrambledFile(std::vector<uint8_t>(1024, 0), MapData(c.length, 0, c.address));
    MemoryPackageSource source(file_);
    const bool loaded = LoadPackageFrom(store_, source, {}, dialogs, random_, clock_);
    EXPECT_EQ(loaded, c.message == nullptr) << c.name;
    EXPECT_EQ(dialogs.messages(), c.message ? Messages{c.message} : Messages{}) << c.name;
    EXPECT_EQ(store_.image != nullptr, loaded) << c.name;
    EXPECT_EQ(store_.map_buffer != nullptr, loaded) << c.name;
  }
}

TEST_F(MapTest, MapOutsideThePackageDataIsRefused) {
  struct Case {
    const char* name;
    uint32_t offset;
    uint32_t length;
  };
  const Case cases[] = {{"over the length limit", 128, 0x7F00001},
                        {"runs past the data", 128, 1024 + 2048 + 1},
                        {"offset far beyond", 0xFFFFFFF0u, 64}};
  for (const auto& c : cases) {
    store_.Release();
    test::RecordingDialogs dialogs;
    std::vector<uint8_t> data = MapData(1024, 0);
    SetArea(data, kMapArea, c.offset, c.length, 0x40200000u);
    file_ = test::ScrambledFile(std::vector<uint8_t>(1024, 0), data);
    MemoryPackageSource source(file_);
    EXPECT_FALSE(LoadPackageFrom(store_, source, {}, dialogs, random_, clock_)) << c.name;
    EXPECT_EQ(dialogs.messages(), Messages{kMsgMapInformation}) << c.name;
    EXPECT_EQ(store_.image, nullptr) << c.name;
  }
}

TEST_F(MapTest, NoMapAreaNoBufferAndAHeldBufferIsRefused) {
  std::vector<uint8_t> data = MapData(1024, 0);
  SetArea(data, kMapArea, 0, kAbsentLength, 0x40200000u);
  ASSERT_TRUE(Load(data));
  EXPECT_EQ(store_.map_buffer, nullptr);
  EXPECT_EQ(store_.map_buffer_size, 0u);

  PackageStore store;
  store.header_copy = store_.header_copy;
  SetArea(data, kMapArea, 128, 1024, 0x40200000u);
  std::copy_n(data.begin(), 128, store.header_copy.begin());
  store.data_length = static_cast<uint32_t>(data.size());
  store.map_buffer.reset(new uint8_t[4]{});
  EXPECT_FALSE(RunMapStep(store, dialogs_, random_, clock_));
  EXPECT_EQ(dialogs_.messages(), Messages{kMsgMapAlreadyHeld});
}

}  // namespace
}  // namespace qv
