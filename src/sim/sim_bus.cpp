#include "sim/sim_bus.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

namespace qv::sim {

struct SimBus::State {
  explicit State(Clock& c) : clock(c) {}

  Clock& clock;
  mutable std::mutex mutex;
  // Plugged devices in enumeration order; a device that vanished by itself stays listed but is
  // not present.
  std::vector<std::shared_ptr<SimDeviceModel>> devices;
  uint32_t next_number = 1;
  bool enumeration_fails = false;
  std::function<void(uint32_t, SimDeviceConfig&)> config_hook;
  std::function<void(const std::shared_ptr<SimDeviceModel>&)> plug_hook;

  // A fresh device; one made to replace another at its reset stays off the bus until then.
  std::shared_ptr<SimDeviceModel> Make(SimDeviceConfig config, bool awaits_place = false) {
    const uint32_t number = next_number++;
    if (config_hook) config_hook(number, config);
    auto device = std::make_shared<SimDeviceModel>(clock, number, config);
    if (awaits_place) device->AwaitPlace();
    if (plug_hook) plug_hook(device);
    return device;
  }

  // A device swapped into the place of `old` keeps its socket unless it is given one.
  static SimDeviceConfig InSameSocket(SimDeviceConfig config, const SimDevice& old) {
    if (config.usb_port.empty()) config.usb_port = old.config().usb_port;
    return config;
  }

  std::vector<std::shared_ptr<SimDeviceModel>>::iterator Position(const SimDevice* device) {
    return std::find_if(devices.begin(), devices.end(),
                        [device](const auto& listed) { return listed.get() == device; });
  }

  // Puts every device replaced at its reset's successor in its place in the list.
  void SwapInSuccessors() {
    for (auto& device : devices) {
      while (std::shared_ptr<SimDeviceModel> next = device->Successor()) device = next;
    }
  }

  // The listed device with an interface of that path, and the interface's number.
  struct Located {
    std::shared_ptr<SimDeviceModel> device;
    uint32_t interface_number = 0;
  };
  std::optional<Located> Locate(const std::string& path, bool present_only) {
    SwapInSuccessors();
    for (const auto& device : devices) {
      if (present_only && !device->Present()) continue;
      const std::vector<std::string> paths = device->InterfacePaths();
      const auto at = std::find(paths.begin(), paths.end(), path);
      if (at != paths.end()) return Located{device, static_cast<uint32_t>(at - paths.begin())};
    }
    return std::nullopt;
  }
};

namespace {

bool Matches(uint16_t wanted, uint16_t actual) {
  return wanted == 0 || wanted == actual;
}

}  // namespace

SimBus::SimBus(Clock& clock) : state_(std::make_shared<State>(clock)) {}

SimBus::~SimBus() = default;

std::shared_ptr<SimDevice> SimBus::Plug(const SimDeviceConfig& config) {
  std::lock_guard lock(state_->mutex);
  state_->devices.push_back(state_->Make(config));
  return state_->devices.back();
}

void SimBus::Unplug(const std::shared_ptr<SimDevice>& device) {
  std::lock_guard lock(state_->mutex);
  state_->SwapInSuccessors();
  const auto at = state_->Position(device.get());
  if (at == state_->devices.end()) return;
  (*at)->Unplug();
  state_->devices.erase(at);
}

std::shared_ptr<SimDevice> SimBus::Replace(const std::shared_ptr<SimDevice>& device,
                                           const SimDeviceConfig& config) {
  std::lock_guard lock(state_->mutex);
  state_->SwapInSuccessors();
  auto fresh = state_->Make(device ? State::InSameSocket(config, *device) : config);
  const auto at = state_->Position(device.get());
  if (at == state_->devices.end()) {
    state_->devices.push_back(fresh);
  } else {
    (*at)->Unplug();
    *at = fresh;
  }
  return fresh;
}

std::shared_ptr<SimDevice> SimBus::ReplaceAtReset(const std::shared_ptr<SimDevice>& device,
                                                  const SimDeviceConfig& config) {
  std::lock_guard lock(state_->mutex);
  state_->SwapInSuccessors();
  const auto at = state_->Position(device.get());
  if (at == state_->devices.end()) return nullptr;
  auto fresh = state_->Make(State::InSameSocket(config, *device), true);
  (*at)->ReplaceAtReset(fresh);
  return fresh;
}

std::vector<std::shared_ptr<SimDevice>> SimBus::Devices() const {
  std::lock_guard lock(state_->mutex);
  state_->SwapInSuccessors();
  std::vector<std::shared_ptr<SimDevice>> present;
  for (const auto& device : state_->devices) {
    if (device->Present()) present.push_back(device);
  }
  return present;
}

void SimBus::SetEnumerationFails(bool fails) {
  std::lock_guard lock(state_->mutex);
  state_->enumeration_fails = fails;
}

bool SimBus::Enumerate(uint16_t vendor_id, uint16_t product_id,
                       std::vector<HidInterfaceInfo>& out) {
  std::lock_guard lock(state_->mutex);
  if (state_->enumeration_fails) return false;
  state_->SwapInSuccessors();
  for (const auto& device : state_->devices) {
    if (!device->Present()) continue;
    const SimDeviceConfig config = device->config();
    if (!Matches(vendor_id, config.vendor_id) || !Matches(product_id, config.product_id)) continue;
    for (HidInterfaceInfo& info : device->InterfaceInfos()) out.push_back(std::move(info));
  }
  return true;
}

std::string SimBus::EnumerationFailure() const {
  const std::wstring_view text = kSimEnumerationFailureText;
  return std::string(text.begin(), text.end());  // ASCII
}

std::unique_ptr<SimPort> SimBus::OpenSim(const std::string& path) {
  std::lock_guard lock(state_->mutex);
  const std::optional<State::Located> found = state_->Locate(path, true);
  if (!found || found->device->config().open_refused) return nullptr;
  return std::make_unique<SimPort>(found->device, found->interface_number, state_->clock,
                                   found->device->Epoch());
}

HidOpenResult SimBus::OpenWithReason(const std::string& path) {
  HidOpenResult result;
  result.port = OpenSim(path);
  if (result.port != nullptr) return result;
  const std::shared_ptr<SimDeviceModel> device = FindPath(path);
  const bool refused = device != nullptr && device->config().open_refused;
  result.failure = refused ? HidOpenFailure::kAccessDenied : HidOpenFailure::kOther;
  return result;
}

std::shared_ptr<SimDeviceModel> SimBus::Find(uint32_t number) const {
  std::lock_guard lock(state_->mutex);
  state_->SwapInSuccessors();
  for (const auto& device : state_->devices) {
    if (device->number() == number) return device;
  }
  return nullptr;
}

std::shared_ptr<SimDeviceModel> SimBus::FindPath(const std::string& path) const {
  std::lock_guard lock(state_->mutex);
  const std::optional<State::Located> found = state_->Locate(path, false);
  return found ? found->device : nullptr;
}

void SimBus::SetConfigHook(std::function<void(uint32_t number, SimDeviceConfig& config)> hook) {
  std::lock_guard lock(state_->mutex);
  state_->config_hook = std::move(hook);
}

void SimBus::SetPlugHook(std::function<void(const std::shared_ptr<SimDeviceModel>&)> hook) {
  std::lock_guard lock(state_->mutex);
  state_->plug_hook = std::move(hook);
}

}  // namespace qv::sim
