#pragma once

#include <string>

#include "ui/wizard_context.h"

namespace qv {

// The message after a discovery that took no device: "No device, please connect usb cable to
// device !", and, only when a device is attached but this user may not open it, one more line
// that names that cause and the fix (the udev rule, then a replug).
[[nodiscard]] std::string NoDeviceMessage(const WizardContext& context);

}  // namespace qv
