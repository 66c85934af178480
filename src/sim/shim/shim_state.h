#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "sim/shim/shim_control.h"
#include "sim/shim/shim_device_files.h"
#include "sim/shim/shim_settings.h"
#include "sim/sim_bus.h"
#include "sim/sim_steady_clock.h"

namespace qv::sim::shim {

// The process-wide simulated bus behind the hidapi stand-in: configured once from the QVSIM_
// environment, driven by the control file, writing each device's files into QVSIM_DIR.
class ShimState {
 public:
  // Created on first use and kept to the end of the process, so that threads still inside a
  // hid_* call at exit never meet a destroyed bus; the flash images are saved at exit.
  static ShimState& Get();

  [[nodiscard]] SimBus& bus() { return bus_; }
  [[nodiscard]] Clock& clock() { return clock_; }
  // Applies the control-file lines written since the last call.
  void Poll();
  // Saves the device's flash image when an over or reset has just asked for it.
  void SaveIfRequested(const SimDeviceModel& device);
  // Saves the device's flash image if it changed since it was last saved.
  void Save(const SimDeviceModel& device);
  void SaveAll();

 private:
  ShimState();
  struct Entry {
    std::shared_ptr<SimDeviceModel> device;
    std::shared_ptr<ShimDeviceFiles> files;
    std::optional<uint64_t> saved_generation;
  };
  void Register(const std::shared_ptr<SimDeviceModel>& device);
  void Apply(const ControlLine& line);

  ShimSettings settings_;
  SimSteadyClock clock_;
  const uint32_t start_tick_;
  SimBus bus_;
  std::mutex control_mutex_;
  std::optional<ControlFile> control_;
  std::mutex registry_mutex_;  // taken inside the bus's lock by the plug hook; never the reverse
  std::map<uint32_t, Entry> devices_;
  std::mutex save_mutex_;
};

}  // namespace qv::sim::shim
