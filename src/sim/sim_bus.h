#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "sim/sim_device.h"
#include "sim/sim_device_model.h"
#include "sim/sim_port.h"

namespace qv::sim {

// An in-process HID bus of simulated devices, for tests. Thread-safe: a test thread may plug and
// unplug while the code under test enumerates and transfers on other threads. Waiting (latency,
// erase time, the absence after reset, read time-outs) goes through the given clock.
class SimBus final : public HidBus {
 public:
  explicit SimBus(Clock& clock);
  ~SimBus() override;

  // Attaches a fresh device (erased flash) at the end of the enumeration order.
  std::shared_ptr<SimDevice> Plug(const SimDeviceConfig& config = {});
  // Detaches it: open ports fail from now on.
  void Unplug(const std::shared_ptr<SimDevice>& device);
  // Unplugs the device and plugs a fresh one (its own erased flash) in its place.
  std::shared_ptr<SimDevice> Replace(const std::shared_ptr<SimDevice>& device,
                                     const SimDeviceConfig& config = {});
  // Devices currently attached, in enumeration order: not those unplugged, vanished, or inside
  // their absence after a reset.
  [[nodiscard]] std::vector<std::shared_ptr<SimDevice>> Devices() const;
  // Makes every enumeration fail (true) or work again (false).
  void SetEnumerationFails(bool fails);

  [[nodiscard]] bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                               std::vector<HidInterfaceInfo>& out) override;
  // A device configured with open_refused fails with kAccessDenied.
  [[nodiscard]] HidOpenResult OpenWithReason(const std::string& path) override;

  // The same as Open, with the simulator's own port type.
  [[nodiscard]] std::unique_ptr<SimPort> OpenSim(const std::string& path);
  // The plugged device with the given number (see SimDeviceModel::number), or null.
  [[nodiscard]] std::shared_ptr<SimDeviceModel> Find(uint32_t number) const;
  // The plugged device with the given path, or null.
  [[nodiscard]] std::shared_ptr<SimDeviceModel> FindPath(const std::string& path) const;
  // Called for every device as it is plugged, before any host can see it; lets a watcher attach
  // an observer.
  void SetPlugHook(std::function<void(const std::shared_ptr<SimDeviceModel>&)> hook);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace qv::sim
