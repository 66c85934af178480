#pragma once

#include <string_view>

namespace qv::station {

// How one run of a unit ended. The text form is what the record, the summary and the JSON
// events carry; stored records rely on it.
enum class UnitResult {
  kUpdated,
  kFailed,
  kDeclined,     // the device already ran the package's version and the re-install was declined
  kInterrupted,  // aborted by a second stop
};

[[nodiscard]] const char* ResultText(UnitResult result);
// The result a text names. A text this program never writes (a hand-edited record, say) counts
// as a failure, as it always has in the report.
[[nodiscard]] UnitResult ResultFromText(std::string_view text);

}  // namespace qv::station
