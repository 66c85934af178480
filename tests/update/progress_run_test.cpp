#include <gtest/gtest.h>

#include "package_fixture.h"
#include "sim_run.h"
#include "update/update_run.h"

namespace qv {
namespace {

using test::FixturePackage;
using test::MakeArea;
using test::PatternBytes;

FixturePackage ProgramOnly(uint32_t length, bool pad_to_kib = true) {
  FixturePackage package;
  package.program = MakeArea(PatternBytes(length, 1), 0x40010000, {'V', '9', 0, 0});
  package.pad_to_kib = pad_to_kib;
  return package;
}

FixturePackage ProgramAndSound() {
  FixturePackage package = ProgramOnly(0x2000);
  package.sound = MakeArea(PatternBytes(0x2000, 2), 0x40020000);
  return package;
}

const char* const kWait = "To updata ,please wait...";
const char* const kErase = "Erase old data ,please wait ...";

struct ProgressCase {
  const char* name;
  FixturePackage package;
  std::vector<uint32_t> posted;  // every percentage posted, in order
  std::vector<std::string> statuses;
};

std::vector<ProgressCase> Cases() {
  return {
      // 4 KiB: base 30, budget 32*4 + 34*1 + 4000 = 4162, less one sector and one time step
      // (3616). The check-code and info blocks take a time step each (3104, 2592) and bring
      // the bar to its end.
      {"program alone",
       ProgramOnly(0x1000),
       {30, 30, 47, 65, 82, 100, 100},
       {kWait, kErase, "Update:30% complete,abount 3 seconds need ...",
        "Update:100% complete,abount 3 seconds need ...",
        "Update:100% complete,abount 2 seconds need ..."}},
      // 16 KiB over two areas: base 20, budget 4648; the program starts where the sound
      // ended. Budget left after each time step: 4068, 3488, then 2976 and 2464 for the blocks.
      {"program and sound",
       ProgramAndSound(),
       {20, 20, 25, 30, 35, 40, 45, 50, 55, 60, 60, 65, 70, 75, 80, 85, 90, 95, 100, 100},
       {kWait, kErase, "Update:20% complete,abount 4 seconds need ...", kErase,
        "Update:60% complete,abount 3 seconds need ...",
        "Update:100% complete,abount 2 seconds need ...",
        "Update:100% complete,abount 2 seconds need ..."}},
      // Less than 1 KiB after the header: no blocks, the bar stays at the base, also while
      // the check-code and info blocks are written (budget 4000, then 3454, 2942, 2430).
      {"no whole KiB",
       ProgramOnly(0x300, /*pad_to_kib=*/false),
       {30, 30, 30, 30},
       {kWait, kErase, "Update:30% complete,abount 3 seconds need ...",
        "Update:30% complete,abount 2 seconds need ...",
        "Update:30% complete,abount 2 seconds need ..."}},
  };
}

TEST(RunProgress, PercentagesAndTexts) {
  for (const ProgressCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    test::SimRun run;
    test::LoadFixture(c.package, run.store, run.clock);
    run.sim_bus.Plug();
    test::RecordingProgress progress;
    ASSERT_EQ(run.Run(progress), RunResult::kSucceeded);
    EXPECT_EQ(progress.posted(), c.posted);
    EXPECT_EQ(progress.statuses(), c.statuses);
  }
}

TEST(RunProgress, ThreeAreasStartAtTenAndCountThePrefix) {
  test::SimRun run;
  test::LoadFixture(test::ThreeAreaPackage(), run.store, run.clock);
  run.sim_bus.Plug();
  test::RecordingProgress progress;
  ASSERT_EQ(run.Run(progress), RunResult::kSucceeded);

  // 44 KiB of data plus the 256-byte prefix: 44 blocks, one progress step per KiB written
  // (12 + 12 + 20), one percentage at the start of each area and one for each of the two
  // bookkeeping blocks. Budget 5782; after each area's erase and time steps 5168, 4554, 3872
  // and 3360 (the program's second time step, at 91 %), then 2848 and 2336 for the blocks.
  const std::vector<uint32_t> posted = progress.posted();
  ASSERT_EQ(posted.size(), 3u + 44u + 2u);
  EXPECT_EQ(posted[0], 10u);   // map
  EXPECT_EQ(posted[13], 34u);  // sound, after 12 blocks
  EXPECT_EQ(posted[26], 59u);  // program, after 24 blocks
  EXPECT_EQ(posted[46], 97u);  // the program's last KiB, 43 blocks counted
  EXPECT_EQ(posted[47], 100u);
  EXPECT_EQ(posted[48], 100u);
  EXPECT_TRUE(std::is_sorted(posted.begin(), posted.end()));
  EXPECT_EQ(progress.statuses(), (std::vector<std::string>{
                                     kWait, kErase, "Update:10% complete,abount 5 seconds need ...",
                                     kErase, "Update:34% complete,abount 4 seconds need ...",
                                     kErase, "Update:59% complete,abount 3 seconds need ...",
                                     "Update:91% complete,abount 3 seconds need ...",
                                     "Update:100% complete,abount 2 seconds need ...",
                                     "Update:100% complete,abount 2 seconds need ..."}));
}

}  // namespace
}  // namespace qv
