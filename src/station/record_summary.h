#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "station/unit_record.h"

namespace qv::station {

// One unit summed up: its runs (the first and its retries) count once, with the outcome of
// its last run.
struct UnitSummary {
  std::string session;
  uint64_t unit = 0;  // 0 for a run recorded without a unit number (a unit of its own)
  UnitResult result = UnitResult::kFailed;
  std::string message;
  uint32_t runs = 0;
  uint64_t duration_ms = 0;  // of all its runs
  std::string device_path;   // of its last run
  std::string device_port;
  std::string device_serial;

  [[nodiscard]] uint32_t retries() const { return runs == 0 ? 0 : runs - 1; }
};

// A record summed up by unit. The station prints it at its end and `qvupdate report` prints it
// from the record file, so the two always agree.
struct RecordSummary {
  uint64_t units = 0;
  uint64_t updated = 0;
  uint64_t declined = 0;
  uint64_t interrupted = 0;
  std::map<std::string, uint64_t> failed_by_message;
  uint64_t retries = 0;
  uint64_t unreadable_lines = 0;
  // Units per hour over the time the sessions ran; empty when no time passed.
  std::optional<double> units_per_hour;
  // Units that ended updated, per hour over the same time.
  std::optional<double> updated_per_hour;
  std::vector<UnitSummary> by_unit;  // in order of session, then unit number

  [[nodiscard]] uint64_t failed() const;
};

// Sums a record up run by run, keeping per unit only what the summary needs (its last attempt,
// result and failure message), so a record of any length is summed in memory that grows with
// its units, not with its bytes. The summary it gives has no by_unit listing.
class RecordTally {
 public:
  void Add(const UnitRecord& record);
  [[nodiscard]] RecordSummary Summary() const;

 private:
  struct UnitState {
    uint32_t attempt = 0;
    uint32_t message = 0;  // index into messages_, for a failed unit
    UnitResult result = UnitResult::kFailed;
    bool seen = false;
  };
  struct Session {
    // Unit numbers count up from 1 in a session, so most units sit in a plain array; a number
    // far beyond the units seen (a hand-edited line, say) goes to the map instead, so no line
    // can make the array grow past twice the units actually read.
    std::vector<UnitState> dense;
    std::map<uint64_t, UnitState> sparse;
    uint64_t units = 0;
    int64_t first_start = INT64_MAX;
    int64_t last_end = INT64_MIN;
  };
  UnitState& StateOf(Session& session, uint64_t unit);
  uint32_t MessageIndex(const std::string& message);

  std::map<std::string, Session> sessions_;
  std::vector<std::string> messages_;
  std::map<std::string, uint32_t, std::less<>> message_index_;
  uint64_t runs_ = 0;  // with a unit number
  RecordSummary loose_;  // runs without a unit number: each a unit of its own
};

// Reads every line of a record; lines that are not records are counted, not trusted.
[[nodiscard]] std::vector<UnitRecord> ReadRecords(std::istream& in, uint64_t& unreadable_lines);
// The summary with every unit listed, for a station's own runs.
[[nodiscard]] RecordSummary SummariseRecords(const std::vector<UnitRecord>& records);

// The report's text of a summary.
[[nodiscard]] std::string SummaryText(const RecordSummary& summary);

// Parses UTC ISO 8601 as IsoUtc writes it; empty when it is not such a time.
[[nodiscard]] std::optional<int64_t> ParseIsoUtc(const std::string& text);

}  // namespace qv::station
