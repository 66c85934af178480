#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_unit_record.h"

namespace qv::cli {

// A record summed up by unit: the runs of one unit (its first run and its retries) count once,
// with the outcome of its last run.
struct RecordSummary {
  uint32_t units = 0;
  uint32_t updated = 0;
  uint32_t declined = 0;
  uint32_t interrupted = 0;
  std::map<std::string, uint32_t> failed_by_message;
  uint32_t retries = 0;
  uint32_t unreadable_lines = 0;
  // Units per hour over the time the sessions ran; empty when no time passed.
  std::optional<double> units_per_hour;

  [[nodiscard]] uint32_t failed() const;
};

// Reads every line of a record; lines that are not records are counted, not trusted.
[[nodiscard]] std::vector<UnitRecord> ReadRecords(std::istream& in, uint32_t& unreadable_lines);
[[nodiscard]] RecordSummary SummariseRecords(const std::vector<UnitRecord>& records);

[[nodiscard]] std::string SummaryText(const RecordSummary& summary);
// One CSV row per run, with a header row; fields quoted where they need it.
[[nodiscard]] std::string RecordsCsv(const std::vector<UnitRecord>& records);

// Parses UTC ISO 8601 as IsoUtc writes it; empty when it is not such a time.
[[nodiscard]] std::optional<int64_t> ParseIsoUtc(const std::string& text);

}  // namespace qv::cli
