#include "station/record_summary.h"

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <utility>

namespace qv::station {
namespace {

// Whether a run replaces what a unit's earlier runs said: the run with the highest attempt
// number, the later one among equals, is the unit's outcome.
bool Supersedes(bool first_run, uint32_t last_attempt, uint32_t attempt) {
  return first_run || attempt >= last_attempt;
}

void Count(RecordSummary& summary, UnitResult result, const std::string& message) {
  ++summary.units;
  switch (result) {
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
      ++summary.failed_by_message[message];
      break;
  }
}

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
  // Days past a month's end (the 31st of April) roll over into the next month, as the C
  // library's calendar does.
  using namespace std::chrono;
  const sys_days date{std::chrono::year(year) / month / 1};
  const milliseconds at = date.time_since_epoch() + days(day - 1) + hours(hour) +
                          minutes(minute) + seconds(second) + milliseconds(millis);
  return static_cast<int64_t>(at.count());
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

RecordTally::UnitState& RecordTally::StateOf(Session& session, uint64_t unit) {
  if (!session.sparse.empty()) {
    const auto found = session.sparse.find(unit);
    if (found != session.sparse.end()) return found->second;
  }
  if (unit <= session.dense.size()) return session.dense[unit - 1];
  if (unit <= 2 * session.units + 64) {
    session.dense.resize(unit);
    return session.dense[unit - 1];
  }
  return session.sparse[unit];
}

uint32_t RecordTally::MessageIndex(const std::string& message) {
  const auto found = message_index_.find(message);
  if (found != message_index_.end()) return found->second;
  const auto index = static_cast<uint32_t>(messages_.size());
  messages_.push_back(message);
  message_index_.emplace(message, index);
  return index;
}

void RecordTally::Add(const UnitRecord& r) {
  Session& session = sessions_[r.session];
  const std::optional<int64_t> start = ParseIsoUtc(r.start);
  const std::optional<int64_t> end = ParseIsoUtc(r.end);
  if (start && end && *end >= *start) {
    session.first_start = std::min(session.first_start, *start);
    session.last_end = std::max(session.last_end, *end);
  }
  if (r.unit == 0) {
    Count(loose_, r.result, r.message);
    return;
  }
  ++runs_;
  UnitState& unit = StateOf(session, r.unit);
  const bool first = !unit.seen;
  if (first) ++session.units;
  if (!Supersedes(first, unit.attempt, r.attempt)) return;
  unit.seen = true;
  unit.attempt = r.attempt;
  unit.result = r.result;
  if (r.result == UnitResult::kFailed) unit.message = MessageIndex(r.message);
}

RecordSummary RecordTally::Summary() const {
  RecordSummary summary = loose_;
  int64_t span_ms = 0;
  uint64_t units = 0;
  for (const auto& [name, session] : sessions_) {
    const auto count = [&](const UnitState& unit) {
      if (!unit.seen) return;
      Count(summary, unit.result, unit.result == UnitResult::kFailed ? messages_[unit.message] : "");
    };
    for (const UnitState& unit : session.dense) count(unit);
    for (const auto& [number, unit] : session.sparse) count(unit);
    units += session.units;
    if (session.last_end >= session.first_start) span_ms += session.last_end - session.first_start;
  }
  summary.retries = runs_ - units;
  if (span_ms > 0) {
    summary.units_per_hour = static_cast<double>(summary.units) * 3'600'000.0 /
                             static_cast<double>(span_ms);
    summary.updated_per_hour = static_cast<double>(summary.updated) * 3'600'000.0 /
                               static_cast<double>(span_ms);
  }
  return summary;
}

RecordSummary SummariseRecords(const std::vector<UnitRecord>& records) {
  RecordTally tally;
  std::map<std::pair<std::string, uint64_t>, UnitSummary> units;
  std::map<std::pair<std::string, uint64_t>, uint32_t> last_attempt;
  uint64_t loose = 0;  // runs without a unit number each count as a unit of their own
  for (const UnitRecord& r : records) {
    tally.Add(r);
    const auto key = r.unit != 0 ? std::make_pair(r.session, r.unit)
                                 : std::make_pair("#" + std::to_string(++loose), uint64_t{0});
    UnitSummary& unit = units[key];
    ++unit.runs;
    unit.duration_ms += r.duration_ms;
    uint32_t& last = last_attempt[key];
    if (Supersedes(unit.runs == 1, last, r.attempt)) {
      last = r.attempt;
      unit.session = r.session;
      unit.unit = r.unit;
      unit.result = r.result;
      unit.message = r.message;
      unit.device_path = r.device_path;
      unit.device_port = r.device_port;
      unit.device_serial = r.device_serial;
    }
  }
  RecordSummary summary = tally.Summary();
  for (auto& [key, unit] : units) summary.by_unit.push_back(std::move(unit));
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
