#include "ui/no_device_message.h"

#include "update/update_texts.h"

namespace qv {

std::string NoDeviceMessage(const WizardContext& context) {
  std::string message = text::kNoDevice;
  if (context.link.LastMiss() == DiscoveryMiss::kAccessDenied) {
    // Telling the user to plug in a device that is plugged in would send them the wrong way.
    message += "\n" + DeviceAccessLine(FindDeviceRule(context.device_rules));
  }
  return message;
}

}  // namespace qv
