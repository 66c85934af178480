#include "cli/cli_record_summary.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

namespace qv::cli {
namespace {

struct UnitOutcome {
  uint32_t runs = 0;
  uint32_t last_attempt = 0;
  std::string result;
  std::string message;
};

struct SessionSpan {
  int64_t first_start = INT64_MAX;
  int64_t last_end = INT64_MIN;
};

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

uint32_t RecordSummary::failed() const {
  uint32_t total = 0;
  for (const auto& [message, count] : failed_by_message) total += count;
  return total;
}

std::optional<int64_t> ParseIsoUtc(const std::string& text) {
  int year, month, day, hour, minute, second, millis;
  char zone = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c", &year, &month, &day, &hour,
                  &minute, &second, &millis, &zone) != 8 ||
      zone != 'Z') {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
      millis < 0 || year < 1970) {
    return std::nullopt;
  }
  std::tm utc{};
  utc.tm_year = year - 1900;
  utc.tm_mon = month - 1;
  utc.tm_mday = day;
  utc.tm_hour = hour;
  utc.tm_min = minute;
  utc.tm_sec = second;
  return static_cast<int64_t>(timegm(&utc)) * 1000 + millis;
}

std::vector<UnitRecord> ReadRecords(std::istream& in, uint32_t& unreadable_lines) {
  std::vector<UnitRecord> records;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    UnitRecord record;
    if (ParseUnitRecord(line, record)) {
      records.push_back(std::move(record));
    } else {
      ++unreadable_lines;
    }
  }
  return records;
}

RecordSummary SummariseRecords(const std::vector<UnitRecord>& records) {
  std::map<std::pair<std::string, uint32_t>, UnitOutcome> units;
  std::map<std::string, SessionSpan> sessions;
  uint32_t loose = 0;  // runs without a unit number each count as a unit of their own
  for (const UnitRecord& r : records) {
    const auto key = r.unit != 0 ? std::make_pair(r.session, r.unit)
                                 : std::make_pair("#" + std::to_string(++loose), 0u);
    UnitOutcome& unit = units[key];
    ++unit.runs;
    if (r.attempt >= unit.last_attempt) {
      unit.last_attempt = r.attempt;
      unit.result = r.result;
      unit.message = r.message;
    }
    const std::optional<int64_t> start = ParseIsoUtc(r.start);
    const std::optional<int64_t> end = ParseIsoUtc(r.end);
    if (start && end && *end >= *start) {
      SessionSpan& span = sessions[r.session];
      span.first_start = std::min(span.first_start, *start);
      span.last_end = std::max(span.last_end, *end);
    }
  }
  RecordSummary summary;
  for (const auto& [key, unit] : units) {
    ++summary.units;
    summary.retries += unit.runs - 1;
    if (unit.result == "updated") {
      ++summary.updated;
    } else if (unit.result == "declined") {
      ++summary.declined;
    } else if (unit.result == "interrupted") {
      ++summary.interrupted;
    } else {
      ++summary.failed_by_message[unit.message];
    }
  }
  int64_t span_ms = 0;
  for (const auto& [session, span] : sessions) span_ms += span.last_end - span.first_start;
  if (span_ms > 0) summary.units_per_hour = summary.units * 3'600'000.0 / span_ms;
  return summary;
}

std::string SummaryText(const RecordSummary& s) {
  std::string text;
  char line[160];
  std::snprintf(line, sizeof line, "Units: %u\nUpdated: %u\nFailed: %u\n", s.units, s.updated,
                s.failed());
  text += line;
  for (const auto& [message, count] : s.failed_by_message) {
    std::snprintf(line, sizeof line, "  %u  ", count);
    text += line + (message.empty() ? std::string("(no message)") : message) + "\n";
  }
  std::snprintf(line, sizeof line, "Declined: %u\nInterrupted: %u\nRetries: %u\n", s.declined,
                s.interrupted, s.retries);
  text += line;
  if (s.units_per_hour) {
    std::snprintf(line, sizeof line, "Units per hour: %.1f\n", *s.units_per_hour);
    text += line;
  }
  if (s.unreadable_lines != 0) {
    std::snprintf(line, sizeof line, "Unreadable lines skipped: %u\n", s.unreadable_lines);
    text += line;
  }
  return text;
}

std::string RecordsCsv(const std::vector<UnitRecord>& records) {
  std::string csv =
      "session,unit,attempt,start,end,station,updater,package_file,package_sha256,"
      "package_version,device_path,device_port,device_serial,version_before,flash_id,result,"
      "message,duration_ms,reports_sent\r\n";
  for (const UnitRecord& r : records) {
    const std::string fields[] = {r.session,
                                  std::to_string(r.unit),
                                  std::to_string(r.attempt),
                                  r.start,
                                  r.end,
                                  r.station,
                                  r.updater,
                                  r.package_file,
                                  r.package_sha256,
                                  r.package_version,
                                  r.device_path,
                                  r.device_port,
                                  r.device_serial,
                                  r.version_before,
                                  r.flash_id,
                                  r.result,
                                  r.message,
                                  std::to_string(r.duration_ms),
                                  std::to_string(r.reports_sent)};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
      if (i != 0) csv += ',';
      csv += CsvField(fields[i]);
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace qv::cli
