#pragma once

// How a test leaves out what this system does not have, saying why: GTEST_SKIP, so that ctest
// counts the case as skipped (a case left out in the middle of a passing test would hide
// among its passes).

#include <gtest/gtest.h>

#include <string>

#include "file_traps.h"

// Skips the rest of a test on Windows, saying why: for what that system does not have (a
// signal, a terminal a test can type into). Elsewhere it does nothing.
#ifdef _WIN32
#define QV_SKIP_ON_WINDOWS(reason) GTEST_SKIP() << (reason)
#else
#define QV_SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif

// Ends a case whose file could not be made (`why` is "" when it was): skipped with the reason on
// Windows, which lacks some kinds (FIFOs; links for an unprivileged user); a failure elsewhere,
// where every kind can be made.
#ifdef _WIN32
#define QV_SKIP_UNMADE(why)                                      \
  if (const std::string qv_unmade = (why); !qv_unmade.empty()) \
  GTEST_SKIP() << qv_unmade
#else
#define QV_SKIP_UNMADE(why)                                      \
  if (const std::string qv_unmade = (why); !qv_unmade.empty()) \
  FAIL() << qv_unmade
#endif

namespace qv::test {

// The special file's name as a test's name: letters and digits only.
inline std::string SpecialFileTestName(const ::testing::TestParamInfo<SpecialFile>& info) {
  std::string name;
  bool upper = true;
  for (const char c : std::string(SpecialFileName(info.param))) {
    if (c == ' ') {
      upper = true;
      continue;
    }
    name += upper ? static_cast<char>(c - 'a' + 'A') : c;
    upper = false;
  }
  return name;
}

}  // namespace qv::test
