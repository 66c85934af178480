#pragma once

#include "package/package_header.h"
#include "package/package_store.h"
#include "platform/dialogs.h"

namespace qv {

// The update-time package checks, run in this order before anything is sent to a device.

// Size, parameter, address and program-area checks of the image's header (the header copy the
// load made of it); the store is only read. 0, or -1 after its message.
[[nodiscard]] int ValidatePackage(const PackageStore& store, Dialogs& dialogs);

// Fills the AreaLengths and AreaSums from the header copy, the image and the map buffer.
void ComputeAreaSums(const PackageStore& store, AreaResults& results);

// XOR of every whole KiB of each present area against its check byte.
// 0, or -1 after "Check data faile !".
[[nodiscard]] int VerifyCheckBytes(const PackageStore& store, Dialogs& dialogs);

}  // namespace qv
