#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/hid_bus.h"

namespace qv::station {

// The switch that aborts one device's run: once thrown, every wait of the run ends at once and
// every report fails, so the run ends along its own failure path and releases the device.
class AbortSwitch {
 public:
  void Throw();
  [[nodiscard]] bool thrown() const { return thrown_.load(); }

 private:
  std::atomic<bool> thrown_{false};
};

// A clock whose sleeps an abort cuts short: they pass in slices of the inner clock, and none
// is slept once the switch is thrown.
class AbortableClock final : public Clock {
 public:
  static constexpr uint32_t kSliceMs = 10;
  AbortableClock(Clock& inner, AbortSwitch& abort) : inner_(inner), abort_(abort) {}
  [[nodiscard]] uint32_t TickMs() override { return inner_.TickMs(); }
  void SleepMs(uint32_t ms) override;

 private:
  Clock& inner_;
  AbortSwitch& abort_;
};

// A bus that finds nothing, opens nothing and fails every report once the switch is thrown.
class AbortableBus final : public HidBus {
 public:
  AbortableBus(HidBus& inner, AbortSwitch& abort) : inner_(inner), abort_(abort) {}
  [[nodiscard]] bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                               std::vector<HidInterfaceInfo>& out) override;
  [[nodiscard]] HidOpenResult OpenWithReason(const std::string& path) override;
  [[nodiscard]] std::string EnumerationFailure() const override {
    return inner_.EnumerationFailure();
  }

 private:
  HidBus& inner_;
  AbortSwitch& abort_;
};

}  // namespace qv::station
