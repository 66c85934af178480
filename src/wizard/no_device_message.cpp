#include "wizard/no_device_message.h"

#include "update/update_texts.h"

namespace qv {

std::string NoDeviceMessage(const HidLink& link, const DeviceRuleLookup& rules) {
  std::string message = text::kNoDevice;
  if (link.LastMiss() == DiscoveryMiss::kAccessDenied) {
    // Telling the user to plug in a device that is plugged in would send them the wrong way.
    message += "\n" + SystemDeviceAccessLine(rules);
  }
  if (link.LastMiss() == DiscoveryMiss::kEnumerationFailed) {
    // "No device" alone would send the user to the cable when the system cannot list devices.
    message += "\n" + text::CannotListDevices(link.LastEnumerationFailure());
  }
  return message;
}

}  // namespace qv
