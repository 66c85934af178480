#pragma once

#include "package/package_header.h"
#include "package/package_store.h"
#include "platform/result.h"

namespace qv {

// The update-time package checks, run in this order before anything is sent to a device.

// Size, parameter, address and program-area checks of the image's header (the header copy the
// load made of it); the store is only read. The first refusal's message on failure.
[[nodiscard]] Result<> ValidatePackage(const PackageStore& store);

// Fills the AreaLengths and AreaSums from the header copy, the image and the map buffer.
void ComputeAreaSums(const PackageStore& store, AreaResults& results);

// XOR of every whole KiB of each present area against its check byte; "Check data faile !"
// on failure.
[[nodiscard]] Result<> VerifyCheckBytes(const PackageStore& store);

}  // namespace qv
