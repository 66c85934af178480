#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "station/unit_record.h"

namespace qv::station {

// A unit that did not end updated, as the summary names it: the outcome of its last run.
struct UnitNotUpdated {
  std::string session;
  uint64_t unit = 0;  // 0 for a run recorded without a unit number (a unit of its own)
  UnitResult result = UnitResult::kFailed;
  std::string message;
  std::string device;  // "port 1-2", else "serial A1B2", else the path; as the device said it
  std::string area;    // the area being written when it ended; empty before any
};

// The units of one station or one package, counted as the summary counts them.
struct GroupCounts {
  uint64_t units = 0;
  uint64_t updated = 0;
  uint64_t failed = 0;
  uint64_t declined = 0;
  uint64_t interrupted = 0;
  uint64_t retries = 0;
  std::string file = {};  // a package's file name, as its first session recorded it
};

// How many stations and how many packages a summary lists one by one; the units of any further
// ones are counted together under kOtherGroups, so a record of any make-up gives a breakdown of
// bounded length.
inline constexpr std::size_t kMaxGroups = 1000;
inline constexpr const char* kOtherGroups = "(others)";

// A record summed up by unit. The station prints it at its end and `qvupdate report` prints it
// from the record file, both with SummaryText, so the two say the same.
struct RecordSummary {
  uint64_t units = 0;
  uint64_t updated = 0;
  uint64_t declined = 0;
  uint64_t interrupted = 0;
  std::map<std::string, uint64_t> failed_by_message;
  uint64_t retries = 0;
  uint64_t unreadable_lines = 0;
  uint64_t sessions = 0;
  // Units per hour over the time the sessions ran; empty when no time passed.
  std::optional<double> units_per_hour;
  // Units that ended updated, per hour over the same time.
  std::optional<double> updated_per_hour;
  // In order of session, then unit number.
  std::vector<UnitNotUpdated> not_updated;
  // The units by station (the record's host name) and by package (its SHA-256); a session's
  // units belong to the station and the package of its first line.
  std::map<std::string, GroupCounts> by_station;
  std::map<std::string, GroupCounts> by_package;

  [[nodiscard]] uint64_t failed() const;
};

// Sums a record up run by run, keeping per unit only what the summary needs (its last attempt,
// result, message, device and area, the texts kept once each), so a record of any length is
// summed in memory that grows with its units, not with its bytes.
class RecordTally {
 public:
  void Add(const UnitRecord& record);
  [[nodiscard]] RecordSummary Summary() const;

 private:
  struct UnitState {
    uint32_t attempt = 0;
    // Indexes into texts_, for a unit not updated.
    uint32_t message = 0;
    uint32_t device = 0;
    uint32_t area = 0;
    UnitResult result = UnitResult::kFailed;
    bool seen = false;
  };
  struct Session {
    // Unit numbers count up from 1 in a session, so most units sit in a plain array; a number
    // far beyond the units seen (a hand-edited line, say) goes to the map instead, so no line
    // can make the array grow past twice the units actually read.
    std::vector<UnitState> dense;
    std::map<uint64_t, UnitState> sparse;
    std::vector<UnitState> loose;  // runs without a unit number: each a unit of its own
    uint64_t units = 0;
    uint64_t runs = 0;  // with a unit number
    int64_t first_start = INT64_MAX;
    int64_t last_end = INT64_MIN;
    // Of its first line: indexes into texts_.
    uint32_t station = 0;
    uint32_t package = 0;
    uint32_t package_file = 0;
  };
  UnitState& StateOf(Session& session, uint64_t unit);
  uint32_t TextIndex(const std::string& text);
  static void AddToGroup(std::map<std::string, GroupCounts>& groups, const std::string& key,
                         const GroupCounts& counts, const std::string& file);
  void Count(RecordSummary& summary, const std::string& session, uint64_t number,
             const UnitState& unit) const;

  std::map<std::string, Session> sessions_;
  // The session of the line before: a record's lines come session by session.
  Session* last_session_ = nullptr;
  std::string last_session_name_;
  std::vector<std::string> texts_;
  std::map<std::string, uint32_t, std::less<>> text_index_;
  uint64_t runs_ = 0;  // with a unit number
};

// Reads every line of a record; lines that are not records are counted, not trusted.
[[nodiscard]] std::vector<UnitRecord> ReadRecords(std::istream& in, uint64_t& unreadable_lines);
// The summary of a station's own runs.
[[nodiscard]] RecordSummary SummariseRecords(const std::vector<UnitRecord>& records);

// The summary as people read it, the station's at its end and the report's alike: the counts,
// each failure's message once with the units it ended (their device and area), and the units
// declined or interrupted. A device's text is shown with its control characters escaped.
[[nodiscard]] std::string SummaryText(const RecordSummary& summary);

// The units by station and by package, a line each, under the summary's counts when a report
// covers several records.
[[nodiscard]] std::string BreakdownText(const RecordSummary& summary);

// How many units the summary names under one message or result; the rest are counted.
inline constexpr std::size_t kUnitsNamedPerLine = 10;

// Parses UTC ISO 8601 as IsoUtc writes it; empty when it is not such a time.
[[nodiscard]] std::optional<int64_t> ParseIsoUtc(const std::string& text);

}  // namespace qv::station
