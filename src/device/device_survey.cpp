#include "device/device_survey.h"

#include "device/hid_link.h"

namespace qv {
namespace {

SurveyedInterface Probe(HidBus& bus, const HidInterfaceInfo& info) {
  SurveyedInterface entry;
  entry.info = info;
  const std::unique_ptr<HidPort> port = bus.Open(info.path);
  if (port == nullptr) return entry;
  entry.opened = true;
  entry.attributes_read = port->GetAttributes(entry.vendor_id, entry.product_id);
  entry.matches = entry.attributes_read && entry.vendor_id == kDeviceVendorId &&
                  entry.product_id == kDeviceProductId;
  return entry;
}

}  // namespace

DeviceSurvey SurveyDevices(HidBus& bus, NamedMutexSystem& mutexes) {
  DeviceSurvey survey;
  std::vector<HidInterfaceInfo> interfaces;
  survey.enumerated = bus.Enumerate(kDeviceVendorId, kDeviceProductId, interfaces);
  for (const HidInterfaceInfo& info : interfaces) survey.interfaces.push_back(Probe(bus, info));
  survey.mutex = mutexes.Create(kDeviceMutexName).status;
  if (survey.mutex == NamedMutexStatus::kAlreadyExists) return survey;
  for (std::size_t i = 0; i < survey.interfaces.size(); ++i) {
    if (survey.interfaces[i].matches) {
      survey.would_take = i;
      break;
    }
  }
  return survey;
}

}  // namespace qv
