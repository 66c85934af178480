#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/lock_holder.h"
#include "platform/named_mutex.h"

namespace qv {

// What one attached device said to the query an update run sends first (which resets and
// writes nothing).
struct DeviceQueryResult {
  enum class State {
    kAnswered,
    kNoAnswer,         // taken, but no answer came within the answer time
    kHeldElsewhere,    // another updater process holds the devices
    kIndistinct,       // another attached device carries its identity: nothing is sent
    kAccessDenied,     // this user may not open it
    kNotTaken,         // gone, or not opened
  };
  HidInterfaceInfo device;
  State state = State::kNotTaken;
  std::array<uint8_t, 64> answer{};   // with kAnswered; 0xFF beyond what the device sent
  std::optional<LockHolder> holder;   // with kHeldElsewhere, where it can be seen
};

// Asks every attached device, one after the other, each under the run lock and the device
// mutex, which are let go again before the next one. A device held by another process is
// reported as such at once; one that does not answer is given the answer time, no more.
[[nodiscard]] std::vector<DeviceQueryResult> QueryDevices(HidBus& bus, NamedMutexSystem& mutexes,
                                                          Clock& clock);

// The 14-byte version record of an answer, as hex.
[[nodiscard]] std::string AnswerVersionHex(const std::array<uint8_t, 64>& answer);

// The state's name, as printed and in JSON.
[[nodiscard]] const char* QueryStateText(DeviceQueryResult::State state);

}  // namespace qv
