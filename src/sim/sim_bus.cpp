#include "sim/sim_bus.h"

#include <algorithm>
#include <mutex>
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
  std::function<void(const std::shared_ptr<SimDeviceModel>&)> plug_hook;

  std::shared_ptr<SimDeviceModel> Make(const SimDeviceConfig& config) {
    auto device = std::make_shared<SimDeviceModel>(clock, next_number++, config);
    if (plug_hook) plug_hook(device);
    return device;
  }

  std::vector<std::shared_ptr<SimDeviceModel>>::iterator Position(const SimDevice* device) {
    return std::find_if(devices.begin(), devices.end(),
                        [device](const auto& listed) { return listed.get() == device; });
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
  const auto at = state_->Position(device.get());
  if (at == state_->devices.end()) return;
  (*at)->Unplug();
  state_->devices.erase(at);
}

std::shared_ptr<SimDevice> SimBus::Replace(const std::shared_ptr<SimDevice>& device,
                                           const SimDeviceConfig& config) {
  std::lock_guard lock(state_->mutex);
  auto fresh = state_->Make(config);
  const auto at = state_->Position(device.get());
  if (at == state_->devices.end()) {
    state_->devices.push_back(fresh);
  } else {
    (*at)->Unplug();
    *at = fresh;
  }
  return fresh;
}

std::vector<std::shared_ptr<SimDevice>> SimBus::Devices() const {
  std::lock_guard lock(state_->mutex);
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
  for (const auto& device : state_->devices) {
    if (!device->Present()) continue;
    const SimDeviceConfig config = device->config();
    if (!Matches(vendor_id, config.vendor_id) || !Matches(product_id, config.product_id)) continue;
    HidInterfaceInfo info;
    info.path = device->path();
    info.vendor_id = config.vendor_id;
    info.product_id = config.product_id;
    info.serial_number = device->serial_number();
    info.usb_port = config.usb_port;
    out.push_back(info);
  }
  return true;
}

std::unique_ptr<SimPort> SimBus::OpenSim(const std::string& path) {
  std::lock_guard lock(state_->mutex);
  for (const auto& device : state_->devices) {
    if (device->path() != path || !device->Present()) continue;
    if (device->config().open_refused) return nullptr;
    return std::make_unique<SimPort>(device, state_->clock, device->Epoch());
  }
  return nullptr;
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
  for (const auto& device : state_->devices) {
    if (device->number() == number) return device;
  }
  return nullptr;
}

std::shared_ptr<SimDeviceModel> SimBus::FindPath(const std::string& path) const {
  std::lock_guard lock(state_->mutex);
  for (const auto& device : state_->devices) {
    if (device->path() == path) return device;
  }
  return nullptr;
}

void SimBus::SetPlugHook(std::function<void(const std::shared_ptr<SimDeviceModel>&)> hook) {
  std::lock_guard lock(state_->mutex);
  state_->plug_hook = std::move(hook);
}

}  // namespace qv::sim
