#include "update/package_fitness.h"

#include "package/package_checks.h"
#include "update/update_texts.h"

namespace qv {

int CheckPackageFitness(const PackageStore& store, Dialogs& dialogs, AreaResults& results) {
  if (ValidatePackage(store, dialogs) != 0) return -1;
  ComputeAreaSums(store, results);
  if (VerifyCheckBytes(store, dialogs) != 0) return -1;
  const AreaPlan plan = PlanAreas(store);
  if (plan.status != PlanStatus::kOk) {
    dialogs.ShowMessage(PlanFailureText(plan.status));
    return -1;
  }
  return 0;
}

const char* PlanFailureText(PlanStatus status) {
  return status == PlanStatus::kAreasOverlap ? text::kAreasOverlap : text::kAreaOutside;
}

}  // namespace qv
