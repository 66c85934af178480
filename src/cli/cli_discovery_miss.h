#pragma once

#include <cstdio>
#include <string>

#include "device/device_choice.h"
#include "platform/dialogs.h"
#include "station/station_texts.h"

namespace qv::cli {

// What the command line says when no device was taken: the wizard's "No device ..." when none
// is attached, or that another updater process holds the device (one line each, through the
// dialogs); for a device attached but not openable by this user, the cause and the udev rule
// to install or replug for (several lines, written to `out`).
void ReportDiscoveryMiss(DiscoveryMiss miss, Dialogs& dialogs, std::FILE* out);

// The advice for a device this user may not open, with the rule as found for this program.
[[nodiscard]] std::string AccessAdviceForThisProgram();

inline constexpr const char* kDeviceBusyText = station::text::kDeviceBusy;

}  // namespace qv::cli
