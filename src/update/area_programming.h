#pragma once

#include "device/hid_link.h"
#include "package/package_header.h"
#include "package/package_store.h"
#include "platform/dialogs.h"
#include "update/progress_context.h"
#include "update/progress_state.h"

namespace qv {

// Checks the package once more, sends the area layout, then erases and writes the map, sound
// and program areas in that order, keeping the progress state and the remaining-time estimate.
// Fills `results` with the areas' lengths and sums. 0 on success; -1 on any failure, after its
// message (a failed set-layout shows none: the caller's status line reports it).
[[nodiscard]] int ProgramAreas(HidLink& link, const PackageStore& store, Dialogs& dialogs,
                               ProgressContext& progress, ProgressState& state,
                               AreaResults& results);

}  // namespace qv
