#pragma once

#include <cstdint>
#include <memory>

#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "sim/sim_device_model.h"

namespace qv::sim {

// An open handle on one interface of a simulated device. It belongs to the device's presence at
// opening time: once the device leaves the bus (unplug, reset, vanishing) every transfer fails
// with -1, even after the device has come back.
class SimPort final : public HidPort {
 public:
  SimPort(std::shared_ptr<SimDeviceModel> device, uint32_t interface_number, Clock& clock,
          uint64_t epoch);

  [[nodiscard]] bool GetAttributes(uint16_t& vendor_id, uint16_t& product_id) override;
  [[nodiscard]] int WriteReport(const Report& report) override;
  // A negative time-out waits as long as the device stays.
  [[nodiscard]] int ReadReport(Report& report, int timeout_ms) override;

  [[nodiscard]] SimDeviceModel& device() { return *device_; }
  [[nodiscard]] uint32_t interface_number() const { return interface_number_; }

 private:
  std::shared_ptr<SimDeviceModel> device_;
  const uint32_t interface_number_;
  Clock& clock_;
  const uint64_t epoch_;
};

}  // namespace qv::sim
