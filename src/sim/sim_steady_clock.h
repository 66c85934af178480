#pragma once

#include "platform/clock.h"

namespace qv::sim {

// Real time for the hidapi stand-in, kept inside the simulator so that the shared library
// pulls in nothing of the product.
class SimSteadyClock final : public Clock {
 public:
  [[nodiscard]] uint32_t TickMs() override;
  void SleepMs(uint32_t ms) override;
};

}  // namespace qv::sim
