#pragma once

#include "package/package_header.h"
#include "package/package_store.h"
#include "platform/dialogs.h"
#include "update/area_plan.h"

namespace qv {

// Every refusal a package can meet on its way to a device, in the order the area programming
// applies them: the update-time checks (sizes, parameters, addresses, the program area), the
// check bytes, then the area plan (areas that would share a flash sector, an area outside the
// flash window or the package data). Run before the first command, so that a package that can
// never be written does not reset a device, and by `qvupdate info`. Fills `results` as far as
// the checks got. 0, or -1 after the refusal's message.
[[nodiscard]] int CheckPackageFitness(const PackageStore& store, Dialogs& dialogs,
                                      AreaResults& results);

// The message of a refused area plan.
[[nodiscard]] const char* PlanFailureText(PlanStatus status);

}  // namespace qv
