#include "platform/event.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/try_lock.h"

namespace qv {
namespace {

TEST(EventTest, WaitAnyReportsTheSignalledEventAndTheFirstWins) {
  struct Case {
    bool first_set;
    bool second_set;
    WaitResult expected;
  };
  const Case cases[] = {
      {false, false, WaitResult::kTimeout},
      {true, false, WaitResult::kFirst},
      {false, true, WaitResult::kSecond},
      {true, true, WaitResult::kFirst},
  };
  for (const Case& c : cases) {
    ManualResetEvent first;
    ManualResetEvent second;
    if (c.first_set) first.Set();
    if (c.second_set) second.Set();
    EXPECT_EQ(WaitAny(first, second, 5), c.expected) << c.first_set << c.second_set;
    // Manual reset: a wait consumes nothing.
    EXPECT_EQ(first.IsSet(), c.first_set);
    EXPECT_EQ(second.IsSet(), c.second_set);
  }
}

TEST(EventTest, ASetFromAnotherThreadEndsTheWait) {
  ManualResetEvent first;
  ManualResetEvent second;
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    second.Set();
  });
  EXPECT_EQ(WaitAny(first, second, 60000), WaitResult::kSecond);
  setter.join();
}

TEST(EventTest, ResetClearsTheLevelButAPulseStaysCounted) {
  ManualResetEvent event;
  EXPECT_EQ(event.SetCount(), 0u);
  event.Set();
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  EXPECT_EQ(event.SetCount(), 1u);
  ManualResetEvent other;
  EXPECT_EQ(WaitAny(event, other, 5), WaitResult::kTimeout);
}

TEST(TryLockTest, TryFailsOnlyWhileHeld) {
  TryLock lock;
  ASSERT_TRUE(lock.TryEnter());
  bool taken_elsewhere = true;
  std::thread other([&] { taken_elsewhere = lock.TryEnter(); });
  other.join();
  EXPECT_FALSE(taken_elsewhere);
  lock.Leave();
  EXPECT_TRUE(lock.TryEnter());
  lock.Leave();
}

TEST(SystemClockTest, SleepMovesTheTicksForward) {
  Clock& clock = SystemClock();
  const uint32_t before = clock.TickMs();
  clock.SleepMs(20);
  EXPECT_GE(static_cast<uint32_t>(clock.TickMs() - before), 20u);
}

}  // namespace
}  // namespace qv
