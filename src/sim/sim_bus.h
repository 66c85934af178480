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
// What a failing enumeration says, here and through the hidapi stand-in.
inline constexpr const wchar_t* kSimEnumerationFailureText =
    L"the simulated bus cannot list its devices";

class SimBus final : public HidBus {
 public:
  explicit SimBus(Clock& clock);
  ~SimBus() override;

  // Attaches a fresh device (erased flash) at the end of the enumeration order.
  std::shared_ptr<SimDevice> Plug(const SimDeviceConfig& config = {});
  // Detaches it: open ports fail from now on.
  void Unplug(const std::shared_ptr<SimDevice>& device);
  // Unplugs the device and plugs a fresh one (its own erased flash) in its place: a device
  // swapped into the same socket, so it keeps the old one's usb_port when `config` has none.
  std::shared_ptr<SimDevice> Replace(const std::shared_ptr<SimDevice>& device,
                                     const SimDeviceConfig& config = {});
  // The same swap done while the device is away after its next reset: a fresh device (new
  // number, erased flash, the old one's usb_port when `config` has none) appears in its place
  // when the old one would have come back, and the old one never returns. Returns the fresh
  // device, which stays off the bus until then; null when `device` is not plugged.
  std::shared_ptr<SimDevice> ReplaceAtReset(const std::shared_ptr<SimDevice>& device,
                                            const SimDeviceConfig& config = {});
  // Devices currently attached, in enumeration order: not those unplugged, vanished, or inside
  // their absence after a reset.
  [[nodiscard]] std::vector<std::shared_ptr<SimDevice>> Devices() const;
  // Makes every enumeration fail (true) or work again (false).
  void SetEnumerationFails(bool fails);

  [[nodiscard]] bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                               std::vector<HidInterfaceInfo>& out) override;
  [[nodiscard]] std::string EnumerationFailure() const override;
  // A device configured with open_refused fails with kAccessDenied.
  [[nodiscard]] HidOpenResult OpenWithReason(const std::string& path) override;

  // The same as Open, with the simulator's own port type. Opens any interface's path.
  [[nodiscard]] std::unique_ptr<SimPort> OpenSim(const std::string& path);
  // The plugged device with the given number (see SimDeviceModel::number), or null.
  [[nodiscard]] std::shared_ptr<SimDeviceModel> Find(uint32_t number) const;
  // The plugged device one of whose interfaces has the given path, or null.
  [[nodiscard]] std::shared_ptr<SimDeviceModel> FindPath(const std::string& path) const;
  // Called with the number and configuration of every device about to be made (plugged or
  // swapped in), so that an owner can fill in what depends on the number, such as a serial
  // number or port per device.
  void SetConfigHook(std::function<void(uint32_t number, SimDeviceConfig& config)> hook);
  // Called for every device as it is made, before any host can see it; lets a watcher attach
  // an observer.
  void SetPlugHook(std::function<void(const std::shared_ptr<SimDeviceModel>&)> hook);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace qv::sim
