#include "sim/shim/shim_state.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/environment.h"

namespace qv::sim::shim {
namespace {

void SaveAllAtExit() {
  ShimState::Get().SaveAll();
}

}  // namespace

ShimState& ShimState::Get() {
  // Deliberately never destroyed (see the header); reachable, so not a leak.
  static ShimState* const state = [] {
    auto* created = new ShimState();
    std::atexit(SaveAllAtExit);
    return created;
  }();
  return *state;
}

ShimState::ShimState()
    : settings_(ReadShimSettings(EnvironmentUtf8)), start_tick_(clock_.TickMs()), bus_(clock_) {
  for (const std::string& warning : settings_.warnings) {
    std::fprintf(stderr, "qvsim: %s\n", warning.c_str());
  }
  if (!settings_.dir.empty()) {
    std::error_code error;
    std::filesystem::create_directories(settings_.dir, error);
    if (error) {
      std::fprintf(stderr, "qvsim: cannot create %s: %s\n", settings_.dir.c_str(),
                   error.message().c_str());
    }
  }
  if (!settings_.control.empty()) control_.emplace(settings_.control);
  bus_.SetConfigHook([this](uint32_t number, SimDeviceConfig& config) {
    FillPerDevice(settings_, number, config);
  });
  bus_.SetPlugHook([this](const std::shared_ptr<SimDeviceModel>& device) { Register(device); });
  for (uint32_t i = 0; i < settings_.devices; ++i) (void)bus_.Plug(settings_.device);
}

void ShimState::Register(const std::shared_ptr<SimDeviceModel>& device) {
  Entry entry{device, nullptr, std::nullopt};
  if (!settings_.dir.empty()) {
    entry.files =
        std::make_shared<ShimDeviceFiles>(clock_, start_tick_, settings_.dir, device->name());
    device->SetObserver(entry.files);
    // A device made to take another's place at its reset is not on the bus yet.
    entry.files->OnEvent((device->Present() ? "plugged as " : "made to be swapped in as ") +
                         device->path());
  }
  std::lock_guard lock(registry_mutex_);
  devices_[device->number()] = std::move(entry);
}

void ShimState::Poll() {
  std::lock_guard lock(control_mutex_);
  if (!control_) return;
  for (const std::string& text : control_->NewLines()) Apply(ParseControlLine(text));
}

void ShimState::Apply(const ControlLine& line) {
  using Action = ControlLine::Action;
  std::shared_ptr<SimDeviceModel> target;
  if (line.action != Action::kPlug && line.action != Action::kEnumerationFails &&
      line.action != Action::kEnumerationWorks && line.action != Action::kInvalid) {
    target = bus_.Find(line.device);
    if (!target) {
      std::fprintf(stderr, "qvsim: control \"%s\": no such device\n", line.text.c_str());
      return;
    }
  }
  switch (line.action) {
    case Action::kPlug:
      (void)bus_.Plug(settings_.device);
      break;
    case Action::kUnplug:
      bus_.Unplug(target);
      Save(*target);
      break;
    case Action::kReplace:
      (void)bus_.Replace(target, settings_.device);
      Save(*target);
      break;
    case Action::kReplaceAtReset:
      (void)bus_.ReplaceAtReset(target, settings_.device);
      break;
    case Action::kVanish: {
      SimDeviceConfig config = target->config();
      config.vanish_report = line.report;
      target->SetConfig(config);
      break;
    }
    case Action::kStall: {
      SimDeviceConfig config = target->config();
      config.stop_answering_reads = true;
      target->SetConfig(config);
      break;
    }
    case Action::kEnumerationFails:
      bus_.SetEnumerationFails(true);
      break;
    case Action::kEnumerationWorks:
      bus_.SetEnumerationFails(false);
      break;
    case Action::kInvalid:
      std::fprintf(stderr, "qvsim: control \"%s\" not understood\n", line.text.c_str());
      break;
  }
}

void ShimState::SaveIfRequested(const SimDeviceModel& device) {
  std::shared_ptr<ShimDeviceFiles> files;
  {
    std::lock_guard lock(registry_mutex_);
    const auto found = devices_.find(device.number());
    if (found != devices_.end()) files = found->second.files;
  }
  if (files && files->TakeSaveRequest()) Save(device);
}

void ShimState::Save(const SimDeviceModel& device) {
  if (settings_.dir.empty()) return;
  std::lock_guard saving(save_mutex_);
  std::optional<uint64_t> saved;
  {
    std::lock_guard lock(registry_mutex_);
    saved = devices_[device.number()].saved_generation;
  }
  // The generation is read before the image: a change in between is saved next time.
  const uint64_t generation = device.FlashGeneration();
  if (saved == generation) return;
  if (!SaveFlashImage(settings_.dir, device.name(), device.FlashImage())) {
    std::fprintf(stderr, "qvsim: cannot write the flash image of %s into %s\n",
                 device.name().c_str(), settings_.dir.c_str());
    return;
  }
  std::lock_guard lock(registry_mutex_);
  devices_[device.number()].saved_generation = generation;
}

void ShimState::SaveAll() {
  std::vector<std::shared_ptr<SimDeviceModel>> all;
  {
    std::lock_guard lock(registry_mutex_);
    for (const auto& [number, entry] : devices_) all.push_back(entry.device);
  }
  for (const auto& device : all) Save(*device);
}

}  // namespace qv::sim::shim
