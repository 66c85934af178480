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
  std::vector<UnitSummary> by_unit;  // in order of session, then unit number

  [[nodiscard]] uint64_t failed() const;
};

// Reads every line of a record; lines that are not records are counted, not trusted.
[[nodiscard]] std::vector<UnitRecord> ReadRecords(std::istream& in, uint64_t& unreadable_lines);
[[nodiscard]] RecordSummary SummariseRecords(const std::vector<UnitRecord>& records);

// The report's text of a summary.
[[nodiscard]] std::string SummaryText(const RecordSummary& summary);

// Parses UTC ISO 8601 as IsoUtc writes it; empty when it is not such a time.
[[nodiscard]] std::optional<int64_t> ParseIsoUtc(const std::string& text);

}  // namespace qv::station
