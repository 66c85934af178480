#include "station/unit_record.h"

#include <cstdio>
#include <chrono>
#include <nlohmann/json.hpp>
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

std::string TextAt(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return {};
  const auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return {};
  return found->get<std::string>();
}

uint64_t NumberAt(const nlohmann::json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_number_unsigned()) return 0;
  return found->get<uint64_t>();
}

const nlohmann::json& ObjectAt(const nlohmann::json& object, const char* key) {
  static const nlohmann::json kEmpty = nlohmann::json::object();
  const auto found = object.find(key);
  return found != object.end() && found->is_object() ? *found : kEmpty;
}

// Whether the line's arrays and objects nest deeper than a record's ever do. Checked before
// parsing, because the parser's depth (and memory) grows with every bracket of a line such as
// "[[[[...".
bool NestsTooDeep(const std::string& line) {
  int depth = 0;
  bool in_text = false;
  bool escaped = false;
  for (char c : line) {
    if (in_text) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_text = false;
      }
    } else if (c == '"') {
      in_text = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxRecordNesting) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

bool ParseUnitRecord(const std::string& line, UnitRecord& r) {
  if (line.size() > kMaxRecordLine || NestsTooDeep(line)) return false;
  const nlohmann::json json = nlohmann::json::parse(line, nullptr, false);
  if (!json.is_object() || !json.contains("result")) return false;
  // Lines written before the version was recorded have none: version 0, same fields.
  r.schema = static_cast<uint32_t>(NumberAt(json, "schema"));
  r.session = TextAt(json, "session");
  r.unit = NumberAt(json, "unit");
  r.attempt = static_cast<uint32_t>(NumberAt(json, "attempt"));
  r.start = TextAt(json, "start");
  r.end = TextAt(json, "end");
  r.station = TextAt(json, "station");
  r.updater = TextAt(json, "updater");
  const nlohmann::json& package = ObjectAt(json, "package");
  r.package_file = TextAt(package, "file");
  r.package_sha256 = TextAt(package, "sha256");
  r.package_version = TextAt(package, "version");
  r.package_signature_key = TextAt(package, "signature_key");
  const nlohmann::json& device = ObjectAt(json, "device");
  r.device_path = TextAt(device, "path");
  r.device_port = TextAt(device, "port");
  r.device_serial = TextAt(device, "serial");
  if (device.contains("serial_after_reset") && device["serial_after_reset"].is_string()) {
    r.serial_after_reset = device["serial_after_reset"].get<std::string>();
  }
  const nlohmann::json& before = ObjectAt(json, "before");
  r.version_before = TextAt(before, "version");
  r.flash_id = TextAt(before, "flash_id");
  r.result = ResultFromText(TextAt(json, "result"));
  r.message = TextAt(json, "message");
  r.duration_ms = NumberAt(json, "duration_ms");
  r.reports_sent = NumberAt(json, "reports_sent");
  r.area = TextAt(json, "area");
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
