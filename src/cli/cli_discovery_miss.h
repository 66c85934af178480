#pragma once

#include <cstdio>
#include <string>

#include "device/device_choice.h"
#include "platform/dialogs.h"
#include "station/station_texts.h"

namespace qv::cli {

// The advice for a device this user may not open, with the rule as found for this program.
[[nodiscard]] std::string AccessAdviceForThisProgram();

inline constexpr const char* kDeviceBusyText = station::text::kDeviceBusy;

}  // namespace qv::cli
