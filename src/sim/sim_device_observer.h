#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/sim_device.h"

namespace qv::sim {

// Watches one device: every report moved, every decoded command and every fault, in order.
// Called with the device's lock held, so an observer must not call back into the device.
class SimDeviceObserver {
 public:
  enum class Direction { kToDevice, kToHost };
  virtual ~SimDeviceObserver() = default;
  virtual void OnReport(Direction direction, const uint8_t* bytes, std::size_t size) = 0;
  // One line of the device's event log: a command, a fault, a change of presence.
  virtual void OnEvent(const std::string& text) = 0;
  virtual void OnCommand(const SimCommand& command) = 0;
};

}  // namespace qv::sim
