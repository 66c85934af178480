#pragma once

#include <gtest/gtest.h>

// Skips the rest of a test on Windows, saying why: for what that system does not have (a
// signal, a terminal a test can type into). Elsewhere it does nothing.
#ifdef _WIN32
#define QV_SKIP_ON_WINDOWS(reason) GTEST_SKIP() << (reason)
#else
#define QV_SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif

#include <iostream>
#include <string>

namespace qv::test {

// Whether a case whose file could not be made ("" when it was) is left out: said and skipped on
// Windows, which lacks some kinds (FIFOs; links for an unprivileged user); a failure elsewhere,
// where every kind can be made.
inline bool LeaveOutUnmadeCase(const std::string& name, const std::string& why) {
  if (why.empty()) return false;
#ifdef _WIN32
  std::cout << "[  SKIPPED ] " << name << ": " << why << "\n";
#else
  ADD_FAILURE() << name << ": " << why;
#endif
  return true;
}

}  // namespace qv::test
