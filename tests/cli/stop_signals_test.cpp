// Ctrl-C, SIGTERM and SIGHUP at a station: counted, the process going on after the first and
// the second; the third ends it by the signal's default action. SIGQUIT counts as two stops;
// SIGPIPE is ignored.

#include "cli/stop_signals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace qv::cli {
namespace {

TEST(StopSignalsDeathTest, TwoAreCountedAndTheThirdEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    EXPECT_EXIT(
        {
          CatchStopSignals();
          std::raise(signal_number);
          std::raise(signal_number == SIGINT ? SIGHUP : SIGINT);  // another one counts as well
          if (StopSignalCount().load() != 2) std::_Exit(3);
          std::raise(signal_number);
          std::_Exit(4);  // not reached
        },
        ::testing::KilledBySignal(signal_number), "");
  }
  EXPECT_EXIT(
      {
        CatchStopSignals();
        std::raise(SIGPIPE);
        std::raise(SIGQUIT);
        if (StopSignalCount().load() != 2) std::_Exit(3);
        std::raise(SIGINT);
        std::_Exit(4);  // not reached
      },
      ::testing::KilledBySignal(SIGINT), "");
  // Each catch starts the count again.
  CatchStopSignals();
  std::raise(SIGINT);
  EXPECT_EQ(StopSignalCount().load(), 1u);
  CatchStopSignals();
  EXPECT_EQ(StopSignalCount().load(), 0u);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    std::signal(signal_number, SIG_DFL);
  }
}

}  // namespace
}  // namespace qv::cli
