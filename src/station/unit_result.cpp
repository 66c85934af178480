#include "station/unit_result.h"

namespace qv::station {

const char* ResultText(UnitResult result) {
  switch (result) {
    case UnitResult::kUpdated:
      return "updated";
    case UnitResult::kDeclined:
      return "declined";
    case UnitResult::kInterrupted:
      return "interrupted";
    case UnitResult::kFailed:
      break;
  }
  return "failed";
}

UnitResult ResultFromText(std::string_view text) {
  for (UnitResult result : {UnitResult::kUpdated, UnitResult::kDeclined,
                            UnitResult::kInterrupted}) {
    if (text == ResultText(result)) return result;
  }
  return UnitResult::kFailed;
}

}  // namespace qv::station
