#include "device/device_survey.h"

#include <utility>

#include "device/hid_link.h"

namespace qv {

DeviceSurvey SurveyDevices(HidBus& bus, NamedMutexSystem& mutexes) {
  DeviceChoice choice =
      ChooseDevice(bus, mutexes, DiscoveryRequest{.look_at_every_interface = true});
  DeviceSurvey survey;
  survey.enumerated = choice.enumerated;
  survey.interfaces = std::move(choice.interfaces);
  survey.would_take = choice.taken;
  // The port and the mutex of the choice are let go when it goes out of scope.
  survey.mutex =
      choice.mutex_status ? *choice.mutex_status : mutexes.Create(kDeviceMutexName).status;
  return survey;
}

}  // namespace qv
