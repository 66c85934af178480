#include "ui/no_device_message.h"

#include "update/update_texts.h"

namespace qv {

std::string NoDeviceMessage(const WizardContext& context) {
  std::string message = text::kNoDevice;
  if (context.link.LastMiss() == DiscoveryMiss::kAccessDenied) {
    // Telling the user to plug in a device that is plugged in would send them the wrong way.
    message += "\n" + DeviceAccessLine(FindDeviceRule(context.device_rules));
  }
  if (context.link.LastMiss() == DiscoveryMiss::kEnumerationFailed) {
    // "No device" alone would send the user to the cable when the system cannot list devices.
    message += "\n" + text::CannotListDevices(context.link.LastEnumerationFailure());
  }
  return message;
}

}  // namespace qv
