#pragma once

#include <optional>
#include <vector>

#include "device/device_choice.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"

namespace qv {

// What discovery would find right now, without keeping anything.
struct DeviceSurvey {
  bool enumerated = false;
  std::string enumeration_failure;  // the system's reason, when the list could not be read
  std::vector<ProbedInterface> interfaces;
  // Index of the interface discovery would take; empty when it would take none.
  std::optional<std::size_t> would_take;
  // Whether the named mutex could be created (it is let go again at once).
  NamedMutexStatus mutex = NamedMutexStatus::kFailed;
  // Another updater process is in the middle of a run: discovery takes nothing.
  bool run_lock_held_elsewhere = false;
};

// Runs discovery's own choice over every interface and lets go of what it took at once. When
// no interface matched, the mutex is tried on its own, so the survey still tells whether
// another process holds a device.
[[nodiscard]] DeviceSurvey SurveyDevices(HidBus& bus, NamedMutexSystem& mutexes);

// Why discovery would take no device, by the same rule (MissFrom) as for a discovery.
[[nodiscard]] DiscoveryMiss MissOf(const DeviceSurvey& survey);

}  // namespace qv
