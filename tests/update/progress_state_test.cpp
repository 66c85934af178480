#include "update/progress_state.h"

#include <gtest/gtest.h>

#include "recording_progress.h"

namespace qv {
namespace {

TEST(ProgressPercent, FollowsTheFormulaAndGuardsAnEmptyPackage) {
  struct Case {
    uint8_t base;
    uint32_t done, total, expected;
  };
  const Case cases[] = {
      {10, 0, 100, 10},         {10, 100, 100, 100}, {30, 1, 3, 53}, {20, 2, 3, 73},
      {10, 1, 7, 22},           {30, 0, 0, 30},      {10, 0, 0, 10}, {20, 130048, 130048, 100},
      {10, 129999, 130048, 99},
  };
  for (const Case& c : cases) {
    ProgressState state{c.base, c.done, c.total};
    EXPECT_EQ(ComputePercent(state), c.expected) << int{c.base} << " " << c.done << "/" << c.total;
  }
}

TEST(ProgressPercent, BasePercentFollowsThePresentAreas) {
  EXPECT_EQ(BasePercent(true, true), 10);
  EXPECT_EQ(BasePercent(true, false), 20);
  EXPECT_EQ(BasePercent(false, true), 20);
  EXPECT_EQ(BasePercent(false, false), 30);
}

TEST(ProgressPercent, TimeBudgetCountsKibAndErases) {
  EXPECT_EQ(InitialTimeBudgetMs(0), 4000u);
  EXPECT_EQ(InitialTimeBudgetMs(3), 4096u);
  EXPECT_EQ(InitialTimeBudgetMs(8192), 335776u);
}

TEST(RemainingTime, ChoosesOneOfFourTexts) {
  struct Case {
    uint32_t percent, ms;
    const char* expected;
  };
  const Case cases[] = {
      {12, 125'000, "12% complete,abount 2 minute 5 second need..."},
      {40, 120'999, "40% complete,abount 2 minute need..."},
      {99, 59'999, "99% complete,abount 59 seconds need ..."},
      {100, 999, "100% complete,abount 0 seconds need ..."},
      {0, 0, "0% complete,abount 0 seconds need ..."},
      {55, 3'600'000, "55% complete,abount 60 minute need..."},
  };
  for (const Case& c : cases) EXPECT_EQ(RemainingTimeText(c.percent, c.ms), c.expected);
}

TEST(ProgressReporter, StepsPublishThenCountAndNeverPassTheTotal) {
  test::RecordingProgress progress;
  ProgressState state{30, 0, 2};
  ProgressReporter reporter(state, progress);
  for (int i = 0; i < 4; ++i) reporter.ProgressStep();
  // The percentage is published before the block is counted, and stops counting at the total.
  EXPECT_EQ(progress.posted(), (std::vector<uint32_t>{30, 65, 100, 100}));
  EXPECT_EQ(state.blocks_done, 2u);
}

TEST(ProgressReporter, BudgetStopsAtZeroWhileTheBarMoves) {
  test::RecordingProgress progress;
  progress.remaining_time_ms = 1100;
  ProgressState state{10, 0, 4};
  ProgressReporter reporter(state, progress);
  for (int i = 0; i < 4; ++i) {
    reporter.ProgressStep();
    reporter.TimeStep();
  }
  EXPECT_EQ(progress.remaining_time_ms, 0u);
  EXPECT_EQ(progress.statuses(),
            (std::vector<std::string>{"Update:10% complete,abount 0 seconds need ...",
                                      "Update:32% complete,abount 0 seconds need ...",
                                      "Update:55% complete,abount 0 seconds need ...",
                                      "Update:77% complete,abount 0 seconds need ..."}));
}

TEST(ProgressReporter, TimeTextUsesTheBudgetLeft) {
  test::RecordingProgress progress;
  progress.remaining_time_ms = 61'600;
  ProgressState state{20, 0, 0};
  ProgressReporter reporter(state, progress);
  reporter.ProgressStep();
  reporter.TimeStep();
  EXPECT_EQ(progress.remaining_time_ms, 61'088u);
  EXPECT_EQ(progress.statuses().back(), "Update:20% complete,abount 1 minute 1 second need...");
}

}  // namespace
}  // namespace qv
