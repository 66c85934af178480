#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/hid_bus.h"

namespace qv::cli {

// The switch that aborts one device's run: once thrown, every wait of the run ends at once and
// every report fails, so the run ends along its own failure path and releases the device.
class AbortSwitch {
 public:
  void Throw();
  [[nodiscard]] bool thrown() const { return thrown_.load(); }
  // Sleeps up to ms; returns early when the switch is thrown.
  void Sleep(uint32_t ms);

 private:
  std::atomic<bool> thrown_{false};
  std::mutex mutex_;
  std::condition_variable woken_;
};

// The system clock with sleeps that an abort cuts short.
class AbortableClock final : public Clock {
 public:
  AbortableClock(Clock& inner, AbortSwitch& abort) : inner_(inner), abort_(abort) {}
  [[nodiscard]] uint32_t TickMs() override { return inner_.TickMs(); }
  void SleepMs(uint32_t ms) override { abort_.Sleep(ms); }

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
  [[nodiscard]] std::unique_ptr<HidPort> Open(const std::string& path) override;

 private:
  HidBus& inner_;
  AbortSwitch& abort_;
};

}  // namespace qv::cli
