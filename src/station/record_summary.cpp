#include "station/record_summary.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <tuple>
#include <utility>

#include "station/station_events.h"
#include "station/visible_text.h"

namespace qv::station {
namespace {

// Whether a run replaces what a unit's earlier runs said: the run with the highest attempt
// number, the later one among equals, is the unit's outcome.
bool Supersedes(bool first_run, uint32_t last_attempt, uint32_t attempt) {
  return first_run || attempt >= last_attempt;
}

// Counts a unit's outcome; one not updated is also named.
void CountUnit(RecordSummary& summary, UnitNotUpdated unit) {
  ++summary.units;
  switch (unit.result) {
    case UnitResult::kUpdated:
      ++summary.updated;
      return;
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
  summary.not_updated.push_back(std::move(unit));
}

// The device of a run as the station names it.
std::string RecordedDevice(const UnitRecord& r) {
  HidInterfaceInfo device;
  device.path = r.device_path;
  device.usb_port = r.device_port;
  device.serial_number = r.device_serial;
  return DeviceName(device);
}

}  // namespace

uint64_t RecordSummary::failed() const {
  uint64_t total = 0;
  for (const auto& [message, count] : failed_by_message) total += count;
  return total;
}

std::optional<int64_t> ParseIsoUtc(const std::string& text) {
  // Exactly as IsoUtc writes it: 2026-01-31T12:00:00.250Z. Read digit by digit (it is read twice
  // for every line of a record).
  static constexpr std::string_view kForm = "dddd-dd-ddTdd:dd:dd.dddZ";
  if (text.size() != kForm.size()) return std::nullopt;
  for (std::size_t i = 0; i < kForm.size(); ++i) {
    const char c = text[i];
    if (kForm[i] == 'd' ? (c < '0' || c > '9') : c != kForm[i]) return std::nullopt;
  }
  const auto number = [&text](std::size_t at, std::size_t digits) {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  const int millis = number(20, 3);
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
      year < 1970) {
    return std::nullopt;
  }
  // Days past a month's end (the 31st of April) roll over into the next month, as the C
  // library's calendar does.
  using namespace std::chrono;
  const sys_days date{std::chrono::year(year) / month / 1};
  const milliseconds at = date.time_since_epoch() + days(day - 1) + hours(hour) + minutes(minute) +
                          seconds(second) + milliseconds(millis);
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

uint32_t RecordTally::TextIndex(const std::string& text) {
  const auto found = text_index_.find(text);
  if (found != text_index_.end()) return found->second;
  const auto index = static_cast<uint32_t>(texts_.size());
  texts_.push_back(text);
  text_index_.emplace(text, index);
  return index;
}

void RecordTally::Add(const UnitRecord& r) {
  if (last_session_ == nullptr || last_session_name_ != r.session) {
    const auto [at, added] = sessions_.try_emplace(r.session);
    if (added) {
      at->second.station = TextIndex(r.station);
      at->second.package = TextIndex(r.package_sha256);
      at->second.package_file = TextIndex(r.package_file);
    }
    last_session_ = &at->second;
    last_session_name_ = r.session;
  }
  Session& session = *last_session_;
  const std::optional<int64_t> start = ParseIsoUtc(r.start);
  const std::optional<int64_t> end = ParseIsoUtc(r.end);
  if (start && end && *end >= *start) {
    session.first_start = std::min(session.first_start, *start);
    session.last_end = std::max(session.last_end, *end);
  }
  UnitState run;
  run.seen = true;
  run.attempt = r.attempt;
  run.result = r.result;
  if (r.result != UnitResult::kUpdated) {
    run.message = TextIndex(r.message);
    run.device = TextIndex(RecordedDevice(r));
    run.area = TextIndex(r.area);
  }
  if (r.unit == 0) {
    session.loose.push_back(run);
    return;
  }
  ++runs_;
  ++session.runs;
  UnitState& unit = StateOf(session, r.unit);
  const bool first = !unit.seen;
  if (first) ++session.units;
  if (Supersedes(first, unit.attempt, r.attempt)) unit = run;
}

void RecordTally::Count(RecordSummary& summary, const std::string& session, uint64_t number,
                        const UnitState& unit) const {
  if (!unit.seen) return;
  UnitNotUpdated named;
  named.session = session;
  named.unit = number;
  named.result = unit.result;
  if (unit.result != UnitResult::kUpdated) {
    named.message = texts_[unit.message];
    named.device = texts_[unit.device];
    named.area = texts_[unit.area];
  }
  CountUnit(summary, std::move(named));
}

RecordSummary RecordTally::Summary() const {
  RecordSummary summary;
  int64_t span_ms = 0;
  uint64_t units = 0;
  for (const auto& [name, session] : sessions_) {
    // The session's units are what the counts grow by while it is counted.
    const uint64_t units_before = summary.units, updated_before = summary.updated;
    const uint64_t declined_before = summary.declined, interrupted_before = summary.interrupted;
    for (const UnitState& unit : session.loose) Count(summary, name, 0, unit);
    for (std::size_t i = 0; i < session.dense.size(); ++i) {
      Count(summary, name, i + 1, session.dense[i]);
    }
    for (const auto& [number, unit] : session.sparse) Count(summary, name, number, unit);
    GroupCounts counts;
    counts.units = summary.units - units_before;
    counts.updated = summary.updated - updated_before;
    counts.declined = summary.declined - declined_before;
    counts.interrupted = summary.interrupted - interrupted_before;
    counts.failed = counts.units - counts.updated - counts.declined - counts.interrupted;
    counts.retries = session.runs - session.units;
    AddToGroup(summary.by_station, texts_[session.station], counts, {});
    AddToGroup(summary.by_package, texts_[session.package], counts, texts_[session.package_file]);
    units += session.units;
    if (session.last_end >= session.first_start) span_ms += session.last_end - session.first_start;
  }
  summary.retries = runs_ - units;
  summary.sessions = sessions_.size();
  // The map's units may lie below the array's last ones.
  std::stable_sort(summary.not_updated.begin(), summary.not_updated.end(),
                   [](const UnitNotUpdated& a, const UnitNotUpdated& b) {
                     return std::tie(a.session, a.unit) < std::tie(b.session, b.unit);
                   });
  if (span_ms > 0) {
    summary.units_per_hour =
        static_cast<double>(summary.units) * 3'600'000.0 / static_cast<double>(span_ms);
    summary.updated_per_hour =
        static_cast<double>(summary.updated) * 3'600'000.0 / static_cast<double>(span_ms);
  }
  return summary;
}

void RecordTally::AddToGroup(std::map<std::string, GroupCounts>& groups, const std::string& key,
                             const GroupCounts& counts, const std::string& file) {
  auto at = groups.find(key);
  if (at == groups.end()) {
    // Past the limit, further stations or packages share one entry.
    at = groups.size() < kMaxGroups ? groups.emplace(key, GroupCounts{.file = file}).first
                                    : groups.try_emplace(kOtherGroups).first;
  }
  GroupCounts& group = at->second;
  group.units += counts.units;
  group.updated += counts.updated;
  group.failed += counts.failed;
  group.declined += counts.declined;
  group.interrupted += counts.interrupted;
  group.retries += counts.retries;
}

RecordSummary SummariseRecords(const std::vector<UnitRecord>& records) {
  RecordTally tally;
  for (const UnitRecord& r : records) tally.Add(r);
  return tally.Summary();
}

namespace {

// "unit 2: port 1-2, map area"; with several sessions the unit's session too. Everything that
// came from the record is escaped: a record is outside text.
std::string UnitName(const UnitNotUpdated& unit, bool sessions) {
  std::string text = unit.unit != 0 ? "unit " + std::to_string(unit.unit) : "a run without unit";
  if (sessions) text += " of " + VisibleText(unit.session);
  std::string where = VisibleText(unit.device);
  if (!unit.area.empty()) where += (where.empty() ? "" : ", ") + VisibleText(unit.area) + " area";
  return where.empty() ? text : text + ": " + where;
}

// The units of one message or result, a line each, the first kUnitsNamedPerLine of them.
std::string UnitLines(const RecordSummary& s, UnitResult result, const std::string* message,
                      const char* indent) {
  std::string text;
  std::size_t named = 0;
  std::size_t more = 0;
  for (const UnitNotUpdated& unit : s.not_updated) {
    if (unit.result != result || (message != nullptr && unit.message != *message)) continue;
    if (named == kUnitsNamedPerLine) {
      ++more;
      continue;
    }
    ++named;
    text += indent + UnitName(unit, s.sessions > 1) + "\n";
  }
  if (more != 0) text += indent + ("and " + std::to_string(more) + " more") + "\n";
  return text;
}

std::string Rate(const char* what, const std::optional<double>& per_hour) {
  if (!per_hour) return {};
  char line[64];
  std::snprintf(line, sizeof line, "%s per hour: %.1f\n", what, *per_hour);
  return line;
}

}  // namespace

std::string SummaryText(const RecordSummary& s) {
  const auto number = [](uint64_t n) { return std::to_string(n); };
  std::string text = "Units: " + number(s.units) + "\nUpdated: " + number(s.updated) +
                     "\nFailed: " + number(s.failed()) + "\n";
  for (const auto& [message, count] : s.failed_by_message) {
    text += "  " + number(count) + "  " +
            (message.empty() ? std::string("(no message)") : VisibleText(message)) + "\n";
    text += UnitLines(s, UnitResult::kFailed, &message, "       ");
  }
  text += "Declined: " + number(s.declined) + "\n";
  text += UnitLines(s, UnitResult::kDeclined, nullptr, "  ");
  text += "Interrupted: " + number(s.interrupted) + "\n";
  text += UnitLines(s, UnitResult::kInterrupted, nullptr, "  ");
  text += "Retries: " + number(s.retries) + "\n";
  text += Rate("Units", s.units_per_hour) + Rate("Updated units", s.updated_per_hour);
  if (s.unreadable_lines != 0) {
    text += "Unreadable lines skipped: " + number(s.unreadable_lines) + "\n";
  }
  return text;
}

namespace {

std::string GroupLine(const std::string& name, const GroupCounts& g) {
  const auto number = [](uint64_t n) { return std::to_string(n); };
  return "  " + name + ": " + number(g.units) + " units, " + number(g.updated) + " updated, " +
         number(g.failed) + " failed, " + number(g.declined) + " declined, " +
         number(g.interrupted) + " interrupted, " + number(g.retries) + " retries\n";
}

}  // namespace

std::string BreakdownText(const RecordSummary& s) {
  std::string text = "By station:\n";
  for (const auto& [station, counts] : s.by_station) {
    text += GroupLine(station.empty() ? "(no station)" : VisibleText(station), counts);
  }
  text += "By package:\n";
  for (const auto& [sha256, counts] : s.by_package) {
    std::string name = sha256.empty() ? "(no SHA-256)" : VisibleText(sha256);
    if (!counts.file.empty()) name += " (" + VisibleText(counts.file) + ")";
    text += GroupLine(name, counts);
  }
  return text;
}

}  // namespace qv::station
