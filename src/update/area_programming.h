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
[[nodiscard]] int ProgramAreas(HidLink& link, PackageStore& store, Dialogs& dialogs,
                               ProgressContext& progress, ProgressState& state,
                               AreaResults& results);

// 10 with all three areas, 20 with two, 30 with the program area alone.
[[nodiscard]] uint8_t BasePercent(bool sound_present, bool map_present);

// The remaining-time budget in milliseconds for a package of `blocks_total` KiB.
[[nodiscard]] uint32_t InitialTimeBudgetMs(uint32_t blocks_total);

}  // namespace qv
