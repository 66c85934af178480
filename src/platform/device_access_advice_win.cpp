#include "platform/device_access_advice.h"

namespace qv {

// Windows gives every user a HID device's reports; there is no rule to install. What refuses
// an open there is another program holding the device exclusively, or a driver in a bad state.
std::string SystemDeviceAccessAdvice(const std::filesystem::path&) {
  return "The device is attached, but Windows did not let this program open it.\n"
         "Windows needs no rule or administrator rights for this device. Close any other program "
         "that may hold it (another updater or a configuration tool), then unplug the device and "
         "plug it in again.\n";
}

std::string SystemDeviceAccessLine(const DeviceRuleLookup&) {
  return "The device is plugged in, but Windows did not let this program open it: close any "
         "other program that may hold it (another updater or a configuration tool), then unplug "
         "it and plug it in again.";
}

}  // namespace qv
