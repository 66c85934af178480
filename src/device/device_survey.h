#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/hid_bus.h"
#include "platform/named_mutex.h"

namespace qv {

// One enumerated interface as discovery would see it.
struct SurveyedInterface {
  HidInterfaceInfo info;
  bool opened = false;
  bool attributes_read = false;
  uint16_t vendor_id = 0;  // from the open port
  uint16_t product_id = 0;
  bool matches = false;
};

// What discovery would find right now, without taking anything.
struct DeviceSurvey {
  bool enumerated = false;
  std::vector<SurveyedInterface> interfaces;
  // Index of the interface discovery would take; empty when it would take none.
  std::optional<std::size_t> would_take;
  // Whether the named mutex could be created (it is released again at once).
  NamedMutexStatus mutex = NamedMutexStatus::kFailed;
};

// Opens each interface with the device's ids, reads its attributes and closes it again, then
// tries the named mutex and lets it go at once. Discovery's rules decide which one it would
// take: the first match, and none while another process holds the mutex.
[[nodiscard]] DeviceSurvey SurveyDevices(HidBus& bus, NamedMutexSystem& mutexes);

}  // namespace qv
