#include "winui/no_device_message.h"

#include "package/package_load.h"
#include "platform/device_access_advice.h"
#include "platform/utf8_path.h"
#include "update/update_texts.h"

namespace qv::winui {

std::string NoDeviceMessage(const HidLink& link) {
  std::string message = text::kNoDevice;
  if (link.LastMiss() == DiscoveryMiss::kAccessDenied) {
    std::string advice = SystemDeviceAccessAdvice(PathFromUtf8(ProgramDirectory()));
    while (!advice.empty() && advice.back() == '\n') advice.pop_back();
    message += "\n" + advice;
  }
  if (link.LastMiss() == DiscoveryMiss::kEnumerationFailed) {
    // "No device" alone would send the user to the cable when the system cannot list devices.
    message += "\n" + text::CannotListDevices(link.LastEnumerationFailure());
  }
  return message;
}

}  // namespace qv::winui
