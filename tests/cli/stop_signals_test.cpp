// Ctrl-C and SIGTERM at a station: counted, the process going on after the first and the
// second; the third ends it by the signal's default action.

#include "cli/stop_signals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace qv::cli {
namespace {

TEST(StopSignalsDeathTest, TwoAreCountedAndTheThirdEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const int signal_number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    EXPECT_EXIT(
        {
          CatchStopSignals();
          std::raise(signal_number);
          std::raise(SIGINT + SIGTERM - signal_number);  // the other one counts as well
          if (StopSignalCount().load() != 2) std::_Exit(3);
          std::raise(signal_number);
          std::_Exit(4);  // not reached
        },
        ::testing::KilledBySignal(signal_number), "");
  }
  // Each catch starts the count again.
  CatchStopSignals();
  std::raise(SIGINT);
  EXPECT_EQ(StopSignalCount().load(), 1u);
  CatchStopSignals();
  EXPECT_EQ(StopSignalCount().load(), 0u);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

}  // namespace
}  // namespace qv::cli
