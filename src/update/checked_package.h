#pragma once

#include "package/package_header.h"
#include "package/package_store.h"
#include "platform/result.h"
#include "update/area_plan.h"

namespace qv {

// A package that passed every check: what area programming writes, and the sums the
// bookkeeping blocks carry. Its plan points into the store it was checked from, which must
// outlive it.
struct CheckedPackage {
  AreaPlan plan;
  AreaResults sums;
};

// Every refusal a package can meet on its way to a device, in the order the area programming
// has always applied them: the update-time checks (sizes, parameters, addresses, the program
// area), the check bytes, then the area plan (areas that would share a flash sector, an area
// outside the flash window or the package data). Run once, before the first command, so that a
// package that can never be written does not reset a device; area programming takes what it
// returns. Also run by `qvupdate info`.
[[nodiscard]] Result<CheckedPackage> CheckPackage(const PackageStore& store);

}  // namespace qv
