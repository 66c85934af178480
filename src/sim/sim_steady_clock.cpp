#include "sim/sim_steady_clock.h"

#include <chrono>
#include <thread>

namespace qv::sim {

uint32_t SimSteadyClock::TickMs() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void SimSteadyClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace qv::sim
