#include "station/unit_record.h"

#include <cstdio>
#include <chrono>
#include <cstring>
#include <nlohmann/json.hpp>
#include <simdjson.h>
#include <vector>
#include <string_view>

namespace qv::station {
namespace {

bool StartsFormula(const std::string& text) {
  return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

std::string CsvField(const std::string& raw) {
  const std::string text = StartsFormula(raw) ? "'" + raw : raw;
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace


std::string UnitRecordLine(const UnitRecord& r) {
  nlohmann::json line = {
      {"schema", r.schema},
      {"session", r.session},
      {"unit", r.unit},
      {"attempt", r.attempt},
      {"start", r.start},
      {"end", r.end},
      {"station", r.station},
      {"updater", r.updater},
      {"package", {{"file", r.package_file}, {"sha256", r.package_sha256},
                   {"version", r.package_version}}},
      {"device", {{"path", r.device_path}, {"port", r.device_port}, {"serial", r.device_serial}}},
      {"before", {{"version", r.version_before}, {"flash_id", r.flash_id}}},
      {"result", ResultText(r.result)},
      {"message", r.message},
      {"duration_ms", r.duration_ms},
      {"reports_sent", r.reports_sent},
  };
  if (r.serial_after_reset) line["device"]["serial_after_reset"] = *r.serial_after_reset;
  if (!r.area.empty()) line["area"] = r.area;
  if (!r.package_signature_key.empty()) {
    line["package"]["signature_key"] = r.package_signature_key;
  }
  // Invalid UTF-8 (from a device string) is replaced rather than aborting the line.
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string IsoUtc(int64_t epoch_ms) {
  // The calendar from the clock's own arithmetic: the same on every system, no C time calls.
  using namespace std::chrono;
  const sys_time<milliseconds> at{milliseconds(epoch_ms)};
  const sys_days day = floor<days>(at);
  const year_month_day date(day);
  const hh_mm_ss time(at - day);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<int>(time.subseconds().count()));
  return text;
}

namespace {

// Reading a record line back. Records are read by the hundred thousand (qvupdate report over
// several stations' records), so each line is parsed with simdjson's validating parser, which
// checks the whole line (JSON and UTF-8) as the line format requires, at a small fraction of the
// cost of building a generic tree. The parser and its padded input buffer are kept per thread.
class RecordLineParser {
 public:
  RecordLineParser() : input_(kMaxRecordLine + simdjson::SIMDJSON_PADDING) {
    // The deepest nesting a record line may have; deeper lines fail with a depth error before
    // the parser's work grows with them.
    usable_ = parser_.allocate(kMaxRecordLine, kMaxRecordNesting) == simdjson::SUCCESS;
  }

  // The line's top-level object, or an error.
  simdjson::simdjson_result<simdjson::dom::element> Parse(std::string_view line) {
    if (!usable_ || line.size() > kMaxRecordLine) return simdjson::CAPACITY;
    std::memcpy(input_.data(), line.data(), line.size());
    // The parser may look past the line's end; blanks there end a number or a word at the line's
    // end, where a longer earlier line's bytes would seem to continue it.
    std::memset(input_.data() + line.size(), ' ', simdjson::SIMDJSON_PADDING);
    return parser_.parse(reinterpret_cast<const uint8_t*>(input_.data()), line.size(), false);
  }

 private:
  simdjson::dom::parser parser_;
  std::vector<char> input_;  // the line, with the padding the parser reads past its end
  bool usable_ = false;
};

using Element = simdjson::simdjson_result<simdjson::dom::element>;

// A member of an object; an error (never a crash) when the value is no object, has no such
// member, or was an error itself.
Element Member(const Element& object, std::string_view key) {
  simdjson::dom::object members;
  if (object.get(members) != simdjson::SUCCESS) return simdjson::INCORRECT_TYPE;
  return members.at_key(key);
}

// A text member into `out` (its storage reused: a record's fields are read line after line);
// empty when absent or not a text.
void TextAt(const Element& object, std::string_view key, std::string& out) {
  std::string_view text;
  if (Member(object, key).get(text) != simdjson::SUCCESS) text = {};
  out.assign(text);
}

// A whole number from 0 up; 0 when absent or anything else (negative, fractional, a text).
uint64_t NumberAt(const Element& object, std::string_view key) {
  uint64_t number = 0;
  return Member(object, key).get(number) == simdjson::SUCCESS ? number : 0;
}

}  // namespace

bool ParseUnitRecord(const std::string& line, UnitRecord& r) {
  thread_local RecordLineParser parser;
  const Element json = parser.Parse(line);
  simdjson::dom::object top;
  if (json.get(top) != simdjson::SUCCESS) return false;
  if (Member(json, "result").error() != simdjson::SUCCESS) return false;
  // Lines written before the version was recorded have none: version 0, same fields.
  r.schema = static_cast<uint32_t>(NumberAt(json, "schema"));
  TextAt(json, "session", r.session);
  r.unit = NumberAt(json, "unit");
  r.attempt = static_cast<uint32_t>(NumberAt(json, "attempt"));
  TextAt(json, "start", r.start);
  TextAt(json, "end", r.end);
  TextAt(json, "station", r.station);
  TextAt(json, "updater", r.updater);
  const Element package = Member(json, "package");
  TextAt(package, "file", r.package_file);
  TextAt(package, "sha256", r.package_sha256);
  TextAt(package, "version", r.package_version);
  TextAt(package, "signature_key", r.package_signature_key);
  const Element device = Member(json, "device");
  TextAt(device, "path", r.device_path);
  TextAt(device, "port", r.device_port);
  TextAt(device, "serial", r.device_serial);
  std::string_view after_reset;
  if (Member(device, "serial_after_reset").get(after_reset) == simdjson::SUCCESS) {
    r.serial_after_reset = std::string(after_reset);
  } else {
    r.serial_after_reset.reset();
  }
  const Element before = Member(json, "before");
  TextAt(before, "version", r.version_before);
  TextAt(before, "flash_id", r.flash_id);
  std::string_view result;
  if (Member(json, "result").get(result) != simdjson::SUCCESS) result = {};
  r.result = ResultFromText(result);
  TextAt(json, "message", r.message);
  r.duration_ms = NumberAt(json, "duration_ms");
  r.reports_sent = NumberAt(json, "reports_sent");
  TextAt(json, "area", r.area);
  return true;
}

std::string RecordsCsvHeader() {
  return "session,unit,attempt,start,end,station,updater,package_file,package_sha256,"
         "package_version,device_path,device_port,device_serial,version_before,flash_id,result,"
         "message,duration_ms,reports_sent,device_serial_after_reset,area,package_signature_key\r\n";
}

std::string RecordCsvRow(const UnitRecord& r) {
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
                                ResultText(r.result),
                                r.message,
                                std::to_string(r.duration_ms),
                                std::to_string(r.reports_sent),
                                r.serial_after_reset.value_or(""),
                                r.area,
                                r.package_signature_key};
  std::string row;
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    if (i != 0) row += ',';
    row += CsvField(fields[i]);
  }
  return row + "\r\n";
}

std::string RecordsCsv(const std::vector<UnitRecord>& records) {
  std::string csv = RecordsCsvHeader();
  for (const UnitRecord& r : records) csv += RecordCsvRow(r);
  return csv;
}

}  // namespace qv::station
