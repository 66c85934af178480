#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "station/record_summary.h"
#include "station/station_events.h"

// The station's events as JSON objects, one per line of `qvupdate flash --json`. Every object
// carries "schema" (kEventSchema) and "event"; "device" is the device as the station names it.
// Texts are kept as the device and the run gave them (a text that is no valid UTF-8 is
// replaced where the line is written, never escaped).
namespace qv::station::json_events {

// The version of the event lines' format, in every line's "schema".
inline constexpr int kEventSchema = 1;

[[nodiscard]] nlohmann::json UnitStarted(const UnitStart& start);
[[nodiscard]] nlohmann::json Status(const std::string& device, std::string_view text);
[[nodiscard]] nlohmann::json Percent(const std::string& device, uint32_t percent);
[[nodiscard]] nlohmann::json Remaining(const std::string& device, uint32_t ms);
[[nodiscard]] nlohmann::json Area(const std::string& device, std::string_view area);
[[nodiscard]] nlohmann::json FlashText(const std::string& device, std::string_view text);
[[nodiscard]] nlohmann::json UnitFinished(const UnitEnd& end);
[[nodiscard]] nlohmann::json Summary(const RecordSummary& summary, bool aborted);

// The object as one line, newline included.
[[nodiscard]] std::string Line(const nlohmann::json& event);

}  // namespace qv::station::json_events
