#include "device/device_survey.h"

#include <utility>

#include "device/hid_link.h"
#include "device/run_lock.h"

namespace qv {

DeviceSurvey SurveyDevices(HidBus& bus, NamedMutexSystem& mutexes) {
  DiscoveryRequest request;
  request.look_at_every_interface = true;
  RunLock run_lock(mutexes);
  request.run_lock_held_elsewhere = run_lock.HeldElsewhere();
  DeviceChoice choice = ChooseDevice(bus, mutexes, request);
  DeviceSurvey survey;
  survey.run_lock_held_elsewhere = request.run_lock_held_elsewhere;
  survey.enumerated = choice.enumerated;
  survey.enumeration_failure = choice.enumeration_failure;
  survey.interfaces = std::move(choice.interfaces);
  survey.would_take = choice.taken;
  // The port and the mutex of the choice are let go when it goes out of scope.
  survey.mutex =
      choice.mutex_status ? *choice.mutex_status : mutexes.Create(kDeviceMutexName).status;
  return survey;
}

DiscoveryMiss MissOf(const DeviceSurvey& survey) {
  return MissFrom(survey.would_take.has_value(),
                  survey.mutex == NamedMutexStatus::kAlreadyExists,
                  survey.run_lock_held_elsewhere, survey.enumerated, survey.interfaces);
}

}  // namespace qv
