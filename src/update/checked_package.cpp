#include "update/checked_package.h"

#include "package/package_checks.h"
#include "update/update_texts.h"

namespace qv {

Result<CheckedPackage> CheckPackage(const PackageStore& store) {
  if (Result<> valid = ValidatePackage(store); !valid) return valid.failure();
  CheckedPackage checked;
  ComputeAreaSums(store, checked.sums);
  if (Result<> sums = VerifyCheckBytes(store); !sums) return sums.failure();
  checked.plan = PlanAreas(store);
  switch (checked.plan.status) {
    case PlanStatus::kOk:
      return checked;
    case PlanStatus::kAreasOverlap:
      return Failure{text::kAreasOverlap};
    case PlanStatus::kAreaOutside:
      break;
  }
  return Failure{text::kAreaOutside};
}

}  // namespace qv
