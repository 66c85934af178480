#include "station/record_summary.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

namespace qv::station {
namespace {

struct SessionSpan {
  int64_t first_start = INT64_MAX;
  int64_t last_end = INT64_MIN;
};

}  // namespace

uint64_t RecordSummary::failed() const {
  uint64_t total = 0;
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

std::vector<UnitRecord> ReadRecords(std::istream& in, uint64_t& unreadable_lines) {
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
  std::map<std::pair<std::string, uint64_t>, UnitSummary> units;
  std::map<std::pair<std::string, uint64_t>, uint32_t> last_attempt;
  std::map<std::string, SessionSpan> sessions;
  uint64_t loose = 0;  // runs without a unit number each count as a unit of their own
  for (const UnitRecord& r : records) {
    const auto key = r.unit != 0 ? std::make_pair(r.session, r.unit)
                                 : std::make_pair("#" + std::to_string(++loose), uint64_t{0});
    UnitSummary& unit = units[key];
    ++unit.runs;
    unit.duration_ms += r.duration_ms;
    uint32_t& last = last_attempt[key];
    if (unit.runs == 1 || r.attempt >= last) {
      last = r.attempt;
      unit.session = r.session;
      unit.unit = r.unit;
      unit.result = r.result;
      unit.message = r.message;
      unit.device_path = r.device_path;
      unit.device_port = r.device_port;
      unit.device_serial = r.device_serial;
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
  for (auto& [key, unit] : units) {
    ++summary.units;
    summary.retries += unit.retries();
    switch (unit.result) {
      case UnitResult::kUpdated:
        ++summary.updated;
        break;
      case UnitResult::kDeclined:
        ++summary.declined;
        break;
      case UnitResult::kInterrupted:
        ++summary.interrupted;
        break;
      case UnitResult::kFailed:
        ++summary.failed_by_message[unit.message];
        break;
    }
    summary.by_unit.push_back(std::move(unit));
  }
  int64_t span_ms = 0;
  for (const auto& [session, span] : sessions) span_ms += span.last_end - span.first_start;
  if (span_ms > 0) {
    summary.units_per_hour = static_cast<double>(summary.units) * 3'600'000.0 /
                             static_cast<double>(span_ms);
  }
  return summary;
}

std::string SummaryText(const RecordSummary& s) {
  const auto number = [](uint64_t n) { return std::to_string(n); };
  std::string text = "Units: " + number(s.units) + "\nUpdated: " + number(s.updated) +
                     "\nFailed: " + number(s.failed()) + "\n";
  for (const auto& [message, count] : s.failed_by_message) {
    text += "  " + number(count) + "  " + (message.empty() ? std::string("(no message)") : message) +
            "\n";
  }
  text += "Declined: " + number(s.declined) + "\nInterrupted: " + number(s.interrupted) +
          "\nRetries: " + number(s.retries) + "\n";
  if (s.units_per_hour) {
    char line[64];
    std::snprintf(line, sizeof line, "Units per hour: %.1f\n", *s.units_per_hour);
    text += line;
  }
  if (s.unreadable_lines != 0) {
    text += "Unreadable lines skipped: " + number(s.unreadable_lines) + "\n";
  }
  return text;
}

}  // namespace qv::station
