#pragma once

#include "device/hid_link.h"
#include "package/package_header.h"
#include "platform/result.h"
#include "update/checked_package.h"
#include "update/progress_context.h"
#include "update/progress_state.h"

namespace qv {

// Sends the area layout of a checked package, then erases and writes the map, sound and
// program areas in that order, keeping the progress state and the remaining-time estimate.
// `data_length` is the package's data length (the bar counts its KiB). On failure the failing
// step's message, which the caller shows; a failed set-layout has none (the caller's status
// line reports it).
[[nodiscard]] Result<> ProgramAreas(HidLink& link, const CheckedPackage& package,
                                    uint32_t data_length, ProgressContext& progress,
                                    ProgressState& state);

}  // namespace qv
