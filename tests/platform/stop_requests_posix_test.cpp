// Ctrl-C, SIGTERM and SIGHUP at a station: counted, the process going on after the first and
// the second; the third ends it by the signal's default action. SIGQUIT counts as two stops;
// SIGPIPE is ignored. Threads started for devices never take them.

#include <gtest/gtest.h>
#include <pthread.h>

#include <csignal>
#include <cstdlib>

#include "platform/console.h"

namespace qv {
namespace {

TEST(StopRequestsDeathTest, TwoAreCountedAndTheThirdEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    EXPECT_EXIT(
        {
          CatchStopRequests();
          std::raise(signal_number);
          std::raise(signal_number == SIGINT ? SIGHUP : SIGINT);  // another one counts as well
          if (StopRequestCount().load() != 2) std::_Exit(3);
          std::raise(signal_number);
          std::_Exit(4);  // not reached
        },
        ::testing::KilledBySignal(signal_number), "");
  }
  EXPECT_EXIT(
      {
        CatchStopRequests();
        std::raise(SIGPIPE);
        std::raise(SIGQUIT);
        if (StopRequestCount().load() != 2) std::_Exit(3);
        std::raise(SIGINT);
        std::_Exit(4);  // not reached
      },
      ::testing::KilledBySignal(SIGINT), "");
  // Each catch starts the count again.
  CatchStopRequests();
  std::raise(SIGINT);
  EXPECT_EQ(StopRequestCount().load(), 1u);
  CatchStopRequests();
  EXPECT_EQ(StopRequestCount().load(), 0u);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    std::signal(signal_number, SIG_DFL);
  }
}

// A device thread has the stop signals blocked from its start, so the main thread alone takes
// them; its creator's mask is as it was.
TEST(DeviceThread, NeverTakesTheStopSignals) {
  const int stops[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  sigset_t mine;
  pthread_sigmask(SIG_SETMASK, nullptr, &mine);
  for (int stop : stops) ASSERT_FALSE(sigismember(&mine, stop)) << stop;
  sigset_t theirs;
  std::thread thread =
      StartThreadWithoutStopRequests([&] { pthread_sigmask(SIG_SETMASK, nullptr, &theirs); });
  thread.join();
  sigset_t after;
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  for (int stop : stops) {
    EXPECT_EQ(sigismember(&theirs, stop), 1) << stop;
    EXPECT_EQ(sigismember(&after, stop), 0) << stop;
  }
}

}  // namespace
}  // namespace qv
