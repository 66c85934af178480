#include "update/device_query.h"

#include <span>

#include "device/device_commands.h"
#include "device/device_identity.h"
#include "device/hid_link.h"
#include "device/run_lock.h"
#include "package/package_store.h"
#include "platform/hex_text.h"

namespace qv {
namespace {

std::optional<LockHolder> HolderOfEither(NamedMutexSystem& mutexes) {
  if (auto holder = mutexes.Holder(kDeviceMutexName)) return holder;
  return mutexes.Holder(kRunMutexName);
}

DeviceQueryResult QueryOne(const HidInterfaceInfo& device, HidBus& bus,
                           NamedMutexSystem& mutexes, Clock& clock) {
  DeviceQueryResult result;
  result.device = device;
  HidLink link(bus, mutexes, clock);
  RunLockHold run_lock(link.run_lock());
  link.KeepToDevice(DeviceIdentity::Of(device));
  if (!run_lock.held() || link.Discover() == 0) {
    if (link.LastFoundIndistinct()) {
      result.state = DeviceQueryResult::State::kIndistinct;
    } else if (!run_lock.held() || link.LastMiss() == DiscoveryMiss::kBusy) {
      result.state = DeviceQueryResult::State::kHeldElsewhere;
      result.holder = HolderOfEither(mutexes);
    } else if (link.LastMiss() == DiscoveryMiss::kAccessDenied) {
      result.state = DeviceQueryResult::State::kAccessDenied;
    }
    return result;
  }
  result.state = QueryExchange(link, result.answer) == 0 ? DeviceQueryResult::State::kNoAnswer
                                                         : DeviceQueryResult::State::kAnswered;
  link.Release();
  return result;
}

}  // namespace

std::vector<DeviceQueryResult> QueryDevices(HidBus& bus, NamedMutexSystem& mutexes,
                                            Clock& clock) {
  std::vector<HidInterfaceInfo> attached;
  std::vector<DeviceQueryResult> results;
  if (!bus.Enumerate(kDeviceVendorId, kDeviceProductId, attached)) return results;
  for (const HidInterfaceInfo& device : attached) {
    results.push_back(QueryOne(device, bus, mutexes, clock));
  }
  return results;
}

std::string AnswerVersionHex(const std::array<uint8_t, 64>& answer) {
  return HexBytes(std::span(answer).first(kVersionRecordSize));
}

const char* QueryStateText(DeviceQueryResult::State state) {
  switch (state) {
    case DeviceQueryResult::State::kAnswered:
      return "answered";
    case DeviceQueryResult::State::kNoAnswer:
      return "no answer";
    case DeviceQueryResult::State::kHeldElsewhere:
      return "held by another updater process";
    case DeviceQueryResult::State::kIndistinct:
      return "not told apart from another device";
    case DeviceQueryResult::State::kAccessDenied:
      return "access denied";
    case DeviceQueryResult::State::kNotTaken:
      break;
  }
  return "not taken";
}

}  // namespace qv
