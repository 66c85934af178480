#pragma once

#include <functional>
#include <thread>

namespace qv::station {

// Starts a thread that never takes the stop signals (SIGINT, SIGTERM): they are blocked in it
// from its first instruction, so only the thread that handles them (the main thread) does. The
// caller's own signal mask is left as it was.
[[nodiscard]] std::thread StartWithoutStopSignals(std::function<void()> body);

}  // namespace qv::station
