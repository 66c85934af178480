#include "update/update_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "flash_check.h"
#include "package_fixture.h"
#include "platform/little_endian.h"
#include "sim_run.h"

namespace qv {
namespace {

using test::FixturePackage;
using test::SimRun;

struct Cmd {
  uint8_t opcode;
  uint32_t param1, param2;
  bool operator==(const Cmd&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Cmd& c) {
  return out << std::hex << "{0x" << int{c.opcode} << ", 0x" << c.param1 << ", 0x" << c.param2
             << "}" << std::dec;
}

std::vector<Cmd> CommandsOf(const sim::SimDevice& device) {
  std::vector<Cmd> out;
  for (const sim::SimCommand& c : device.Commands()) out.push_back({c.opcode, c.param1, c.param2});
  return out;
}

constexpr Cmd kQuery{0xA7, 0x80, 1};
constexpr Cmd kReset{0xA5, 0x12345678, 0xABCDEF01};
constexpr Cmd kSetLayout{0xA6, 0x80, 1};
constexpr Cmd kReadBack{0xA2, 0x80, 1};
constexpr Cmd kOver{0xA4, 0x12345678, 0xABCDEF01};
constexpr Cmd Erase(uint32_t sector, uint32_t count) {
  return {0xA1, sector, count};
}
constexpr Cmd Write(uint32_t page, uint32_t count) {
  return {0xA3, page, count};
}

// The traffic of the three-area package: map, sound, program, then the two blocks.
std::vector<Cmd> ThreeAreaCommands(bool over) {
  std::vector<Cmd> commands{kQuery,          kReset,    kSetLayout,
                            Erase(0x200, 3), kReadBack, Write(0x2000, 0x30),
                            Erase(0x100, 3), kReadBack, Write(0x1000, 0x30),
                            Erase(0x10, 5),  kReadBack, Write(0x100, 0x50),
                            Erase(10, 1),    kReadBack, Write(160, 1),
                            Erase(8, 1),     kReadBack, Write(128, 1)};
  if (over) commands.push_back(kOver);
  return commands;
}

class UpdateRun : public ::testing::Test {
 protected:
  void Load(const FixturePackage& package) {
    package_ = package;
    test::LoadFixture(package, run_.store, run_.clock);
  }
  SimRun run_;
  FixturePackage package_;
};

TEST_F(UpdateRun, WritesEveryAreaAndBothBlocks) {
  Load(test::ThreeAreaPackage());
  auto device = run_.sim_bus.Plug();
  test::RecordingProgress progress;

  ASSERT_EQ(run_.Run(progress), RunResult::kSucceeded);

  EXPECT_TRUE(run_.dialogs.messages().empty());
  EXPECT_TRUE(run_.dialogs.questions().empty());
  EXPECT_TRUE(device->Faults().empty()) << device->Faults().front();
  EXPECT_EQ(CommandsOf(*device), ThreeAreaCommands(true));
  test::ExpectFlashHoldsPackage(device->FlashImage(), package_);
  EXPECT_TRUE(run_.Released());
  EXPECT_EQ(progress.flash_text(), "Flash:F10");
  // Reset, 2 s, one reconnect attempt (100 ms) and 1 s more before the areas.
  EXPECT_GE(run_.clock.slept_ms(), 3100u);
}

TEST_F(UpdateRun, ContinuousModeLeavesOutTheOverCommand) {
  Load(test::ThreeAreaPackage());
  auto device = run_.sim_bus.Plug();
  ASSERT_EQ(run_.Run(/*continuous=*/true), RunResult::kSucceeded);
  EXPECT_EQ(CommandsOf(*device), ThreeAreaCommands(false));
  test::ExpectFlashHoldsPackage(device->FlashImage(), package_);
  EXPECT_TRUE(run_.Released());
}

TEST_F(UpdateRun, ProgramOnlyPackageWritesAbsentAreasAsAllOnes) {
  FixturePackage package;
  package.program = test::MakeArea(test::PatternBytes(0x1000, 9), 0x40010000, {'V', '1', 0, 0});
  Load(package);
  auto device = run_.sim_bus.Plug();
  ASSERT_EQ(run_.Run(), RunResult::kSucceeded);
  const std::vector<Cmd> expected{kQuery,        kReset,           kSetLayout,   Erase(0x10, 1),
                                  kReadBack,     Write(0x100, 16), Erase(10, 1), kReadBack,
                                  Write(160, 1), Erase(8, 1),      kReadBack,    Write(128, 1),
                                  kOver};
  EXPECT_EQ(CommandsOf(*device), expected);
  test::ExpectFlashHoldsPackage(device->FlashImage(), package_);
}

TEST_F(UpdateRun, NoDeviceFailsAtTheReset) {
  Load(test::ThreeAreaPackage());
  EXPECT_EQ(run_.Run(), RunResult::kFailed);
  EXPECT_EQ(
      run_.dialogs.messages(),
      std::vector<std::string>{"Send reset command faile,please connect usb cable to device !"});
  EXPECT_TRUE(run_.Released());
}

// A run kept to one device takes that one, not the first, and finds it again after its reset
// under a new path by its serial number.
TEST_F(UpdateRun, KeptToOneDeviceFindsItUnderItsNewPath) {
  Load(test::ThreeAreaPackage());
  sim::SimDeviceConfig config;
  config.new_path_after_reset = true;
  auto first = run_.sim_bus.Plug(config);
  auto second = run_.sim_bus.Plug(config);
  std::vector<HidInterfaceInfo> found;
  ASSERT_TRUE(run_.sim_bus.Enumerate(kDeviceVendorId, kDeviceProductId, found));
  ASSERT_EQ(found.size(), 2u);
  const DeviceIdentity wanted = DeviceIdentity::Of(found[1]);
  EXPECT_EQ(wanted.Text(), "serial " + found[1].serial_number);
  run_.link.KeepToDevice(wanted);

  ASSERT_EQ(run_.Run(), RunResult::kSucceeded);
  EXPECT_TRUE(first->Commands().empty());
  EXPECT_NE(second->path(), found[1].path);
  test::ExpectFlashHoldsPackage(second->FlashImage(), package_);
  EXPECT_TRUE(second->Faults().empty());
}

// The device is seen again only from the given reconnect attempt on (151: never within the
// 150 attempts).
class Reconnect : public UpdateRun, public ::testing::WithParamInterface<std::pair<int, bool>> {};

TEST_P(Reconnect, FindsTheDeviceUpToTheLastAttempt) {
  const auto [attempt, succeeds] = GetParam();
  Load(test::ThreeAreaPackage());
  sim::SimDeviceConfig config;
  config.reset_absent_ms = 0;
  auto device = run_.sim_bus.Plug(config);
  // Enumeration 1 is the run's first discovery; reconnect attempt k is enumeration k + 1.
  run_.bus.HideEnumerations(2, attempt);
  const RunResult result = run_.Run();
  if (succeeds) {
    EXPECT_EQ(result, RunResult::kSucceeded);
    EXPECT_TRUE(run_.dialogs.messages().empty());
    test::ExpectFlashHoldsPackage(device->FlashImage(), package_);
  } else {
    EXPECT_EQ(result, RunResult::kFailed);
    EXPECT_EQ(
        run_.dialogs.messages(),
        std::vector<std::string>{"Connect to device faile,please connect usb cable to device !"});
    EXPECT_EQ(CommandsOf(*device), (std::vector<Cmd>{kQuery, kReset}));
  }
  EXPECT_TRUE(run_.Released());
}

// A device that turns up at the 150th attempt is there and is updated.
INSTANTIATE_TEST_SUITE_P(Attempts, Reconnect,
                         ::testing::Values(std::pair{1, true}, std::pair{100, true},
                                           std::pair{150, true}, std::pair{151, false}));

TEST_F(UpdateRun, SameVersionAsksAndYesInstallsAgain) {
  Load(test::ThreeAreaPackage());
  sim::SimDeviceConfig config;
  config.version = {'P', '1', '2', '3', 0, 'S', '4', '5', '6', 0, 'M', '7', '8', '9'};
  auto device = run_.sim_bus.Plug(config);
  run_.dialogs.QueueAnswer(true);
  ASSERT_EQ(run_.Run(), RunResult::kSucceeded);
  EXPECT_EQ(run_.dialogs.questions(),
            std::vector<std::string>{"It's the latest version, Do you continue to updata ?"});
  test::ExpectFlashHoldsPackage(device->FlashImage(), package_);
}

TEST_F(UpdateRun, SameVersionNoDeclinesWithNothingSent) {
  Load(test::ThreeAreaPackage());
  sim::SimDeviceConfig config;
  config.version = {'P', '1', '2', '3', 0, 'S', '4', '5', '6', 0, 'M', '7', '8', '9'};
  auto device = run_.sim_bus.Plug(config);
  run_.dialogs.QueueAnswer(false);
  EXPECT_EQ(run_.Run(), RunResult::kDeclined);
  EXPECT_EQ(run_.dialogs.questions().size(), 1u);
  EXPECT_TRUE(run_.dialogs.messages().empty());
  EXPECT_EQ(CommandsOf(*device), std::vector<Cmd>{kQuery});
  const std::vector<uint8_t> flash = device->FlashImage();
  EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(run_.Released());
}

TEST_F(UpdateRun, OddAnswersNeverAskAndTheRunGoesOn) {
  struct Case {
    const char* name;
    std::function<void(sim::SimDeviceConfig&)> configure;
    const char* flash_text;
  };
  const std::array<uint8_t, 14> same{'P', '1', '2', '3', 0,   'S', '4',
                                     '5', '6', 0,   'M', '7', '8', '9'};
  const Case cases[] = {
      {"length byte above 64",
       [&](auto& c) {
         c.version = same;
         c.length_byte = 65;
       },
       ""},
      {"length byte below 14",
       [&](auto& c) {
         c.version = same;
         c.length_byte = 13;
       },
       "Flash:F10"},
      {"length byte 3",
       [&](auto& c) {
         c.version = same;
         c.length_byte = 3;
       },
       ""},
      {"short report",
       [&](auto& c) {
         c.version = same;
         c.input_payload = 32;
       },
       ""},
      {"unknown flash id", [&](auto& c) { c.flash_id = "1234"; }, ""},
      {"lower-case hex", [&](auto& c) { c.flash_id = "ef15"; }, "Flash:F21"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run;
    test::LoadFixture(test::ThreeAreaPackage(), run.store, run.clock);
    sim::SimDeviceConfig config;
    c.configure(config);
    auto device = run.sim_bus.Plug(config);
    test::RecordingProgress progress;
    EXPECT_EQ(run.Run(progress), RunResult::kSucceeded);
    EXPECT_TRUE(run.dialogs.questions().empty());
    EXPECT_EQ(progress.flash_text(), c.flash_text);
  }
}

// Packages whose areas do not fall on whole sectors and pages: every page written is erased
// first, a last partial page is written padded with 0xFF, and areas that would share a sector
// are refused before anything is erased.
TEST(UnevenPackages, EraseCoversEveryPageWrittenOrTheRunRefuses) {
  struct Case {
    const char* name;
    FixturePackage package;
    std::vector<Cmd> area_commands;  // between set-layout and the check-code block
  };
  auto program = [](uint32_t length, uint32_t address) {
    return test::MakeArea(test::PatternBytes(length, 4), address, {'V', '1', 0, 0});
  };
  auto sound = [](uint32_t length, uint32_t address) {
    return test::MakeArea(test::PatternBytes(length, 5), address);
  };
  std::vector<Case> cases;
  {
    FixturePackage p;
    p.program = program(0x1001, 0x40010000);
    cases.push_back({"program of 0x1001 bytes", p, {Erase(0x10, 2), kReadBack, Write(0x100, 17)}});
  }
  {
    FixturePackage p;
    p.program = program(0x1000, 0x40010000);
    p.sound = sound(0x1000, 0x40020800);
    cases.push_back({"sound starting mid-sector",
                     p,
                     {Erase(0x20, 2), kReadBack, Write(0x208, 16), Erase(0x10, 1), kReadBack,
                      Write(0x100, 16)}});
  }
  {
    FixturePackage p;
    p.program = program(0x1000, 0x40010000);
    p.map = test::MakeArea(test::PatternBytes(0x10, 6), 0x40030000);
    p.scramble_count = 0x100;
    p.absent_sound_address = 0x40020000;
    cases.push_back({"map of 16 bytes",
                     p,
                     {Erase(0x30, 1), kReadBack, Write(0x300, 2), Erase(0x10, 1), kReadBack,
                      Write(0x100, 16)}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run;
    test::LoadFixture(c.package, run.store, run.clock);
    auto device = run.sim_bus.Plug();
    ASSERT_EQ(run.Run(), RunResult::kSucceeded)
        << (run.dialogs.messages().empty() ? "" : run.dialogs.messages().front());
    EXPECT_TRUE(device->Faults().empty()) << device->Faults().front();
    std::vector<Cmd> expected{kQuery, kReset, kSetLayout};
    expected.insert(expected.end(), c.area_commands.begin(), c.area_commands.end());
    for (Cmd cmd :
         {Erase(10, 1), kReadBack, Write(160, 1), Erase(8, 1), kReadBack, Write(128, 1), kOver}) {
      expected.push_back(cmd);
    }
    EXPECT_EQ(CommandsOf(*device), expected);
    const std::vector<uint8_t> flash = device->FlashImage();
    test::ExpectFlashHoldsPackage(flash, c.package);
    // The fixture pads the program with 0xFF, and that padding is what its last page carries.
    const uint32_t end = c.package.program->address - 0x40000000 + c.package.program->data.size();
    for (uint32_t i = end; i % 256 != 0; ++i) ASSERT_EQ(flash[i], 0xFF) << i;
  }
}

// The sound sum takes the last partial page whole, bytes after the area included. The page
// written must carry those same bytes, or the sum stored on the device would not match its flash.
TEST(UnevenPackages, LastPartialPageCarriesTheBytesItsSumCovers) {
  FixturePackage package;
  package.program = test::MakeArea(test::PatternBytes(0x1000, 4), 0x40010000, {'V', '1', 0, 0});
  package.sound = test::MakeArea(test::PatternBytes(0x3000, 5), 0x40020000);
  package.sound->length = 0x2F01;  // the image goes on with pattern bytes, not 0xFF
  SimRun run;
  test::LoadFixture(package, run.store, run.clock);
  auto device = run.sim_bus.Plug();
  ASSERT_EQ(run.Run(), RunResult::kSucceeded)
      << (run.dialogs.messages().empty() ? "" : run.dialogs.messages().front());
  EXPECT_TRUE(device->Faults().empty());
  const std::vector<uint8_t> flash = device->FlashImage();
  const uint8_t* sound = flash.data() + 0x20000;
  EXPECT_TRUE(std::equal(sound, sound + 0x3000, package.sound->data.begin()));

  uint32_t sum = 0;
  for (uint32_t block = 0; block < 0x2F01; block += 256) {
    uint32_t bytes = 0;
    for (uint32_t i = 0; i < 256; ++i) bytes += sound[block + i];
    sum += bytes ^ 0x416;
  }
  const uint8_t* check = flash.data() + 0xA000;
  const uint32_t r2 = LoadLe32(check + 4 * 6), r3 = LoadLe32(check + 4 * 7);
  EXPECT_EQ(LoadLe32(check) ^ r3, 0x2F01u);
  EXPECT_EQ(LoadLe32(check + 4) ^ r2, sum);
}

// Every refusal of a package comes before the device is touched, also those of the area plan,
// and the device is released on that path too: here it was taken before the run, as the
// wizard's Start takes it.
TEST(PackageRefusals, ComeBeforeTheFirstCommandAndReleaseTheDevice) {
  struct Case {
    const char* name;
    FixturePackage package;
    std::function<void(PackageStore&)> damage;
    const char* message;
  };
  const auto program = test::MakeArea(test::PatternBytes(0x1100, 4), 0x40010000, {'V', '1', 0, 0});
  std::vector<Case> cases;
  cases.push_back({"a damaged program byte", test::ThreeAreaPackage(),
                   [](PackageStore& s) { s.image[kHeaderSize + 0x10] ^= 0x5A; },
                   "Check data faile !"});
  cases.push_back({"data not a whole number of pages", test::ThreeAreaPackage(),
                   [](PackageStore& s) { s.data_length -= 1; },
                   "File format error, must be alignment 256 bytes !"});
  {
    FixturePackage p;
    p.program = program;
    p.sound = test::MakeArea(test::PatternBytes(0x1000, 5), 0x40011000);
    cases.push_back({"areas sharing a flash sector", p, nullptr,
                     "Areas overlap in FLASH, the update file is damaged !"});
  }
  {
    FixturePackage p;
    p.program = program;
    p.sound = test::MakeArea(test::PatternBytes(0x2000, 5), 0x407FF000);
    cases.push_back({"an area running past the flash window", p, nullptr,
                     "Area exceed FLASH space or file data, the update file is damaged !"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run;
    test::LoadFixture(c.package, run.store, run.clock);
    if (c.damage) c.damage(run.store);
    auto device = run.sim_bus.Plug();
    ASSERT_EQ(run.link.Discover(), 1u);
    test::RecordingProgress progress;
    EXPECT_EQ(run.Run(progress), RunResult::kFailed);
    EXPECT_EQ(run.dialogs.messages(), std::vector<std::string>{c.message});
    EXPECT_TRUE(device->Commands().empty());
    EXPECT_TRUE(run.Released());
    // The next updater finds the device free.
    EXPECT_EQ(run.link.Discover(), 1u);
  }
}

// A present area of length 0 is not skipped: its sector count is 0, and an erase of no sector
// fails with that area's message.
TEST(UnevenPackages, EmptyPresentAreaFailsAtItsErase) {
  FixturePackage package;
  package.program = test::MakeArea(test::PatternBytes(0x1000, 4), 0x40010000, {'V', '1', 0, 0});
  package.sound = test::MakeArea({}, 0x40020000);
  SimRun run;
  test::LoadFixture(package, run.store, run.clock);
  auto device = run.sim_bus.Plug();
  test::RecordingProgress progress;
  EXPECT_EQ(run.Run(progress), RunResult::kFailed);
  EXPECT_EQ(run.dialogs.messages(),
            std::vector<std::string>{
                "Erase updata file faile ,please connect usb cable to device !"});
  EXPECT_EQ(progress.statuses().back(), "Updata faile ,please try again !");
  EXPECT_EQ(CommandsOf(*device),
            (std::vector<Cmd>{kQuery, kReset, kSetLayout, Erase(0x20, 0), kReadBack}));
  EXPECT_TRUE(run.Released());
}

}  // namespace
}  // namespace qv
