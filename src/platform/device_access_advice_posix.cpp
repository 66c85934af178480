#include "platform/device_access_advice.h"

namespace qv {

std::string SystemDeviceAccessAdvice(const std::filesystem::path& program_directory) {
  return DeviceAccessAdvice(FindDeviceRule(SystemDeviceRuleLookup(program_directory)));
}

std::string SystemDeviceAccessLine(const DeviceRuleLookup& rules) {
  return DeviceAccessLine(FindDeviceRule(rules));
}

}  // namespace qv
