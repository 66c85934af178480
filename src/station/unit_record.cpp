#include "station/unit_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

namespace qv::station {
namespace {

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


std::string UnitRecordLine(const UnitRecord& r) {
  const nlohmann::json line = {
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
  // Invalid UTF-8 (from a device string) is replaced rather than aborting the line.
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string IsoUtc(int64_t epoch_ms) {
  const std::time_t seconds = static_cast<std::time_t>(epoch_ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(epoch_ms % 1000));
  return text;
}

RecordFile::~RecordFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool RecordFile::Open(const std::string& path, std::string& error) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) error = std::strerror(errno);
  return fd_ >= 0;
}

bool RecordFile::Append(const UnitRecord& record, std::string& error) {
  return AppendLine(UnitRecordLine(record), error);
}

bool RecordFile::AppendLine(const std::string& line, std::string& error) {
  // One write: with O_APPEND the line lands whole at the end even when another process appends
  // to the same file. A short write (disk full) is reported, not continued, so that no line is
  // ever split between two writes.
  ssize_t written;
  do {
    written = ::write(fd_, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) {
    error = std::strerror(errno);
    return false;
  }
  if (static_cast<size_t>(written) != line.size()) {
    error = "short write (disk full?)";
    return false;
  }
  if (::fsync(fd_) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
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

}  // namespace

bool ParseUnitRecord(const std::string& line, UnitRecord& r) {
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
  const nlohmann::json& device = ObjectAt(json, "device");
  r.device_path = TextAt(device, "path");
  r.device_port = TextAt(device, "port");
  r.device_serial = TextAt(device, "serial");
  const nlohmann::json& before = ObjectAt(json, "before");
  r.version_before = TextAt(before, "version");
  r.flash_id = TextAt(before, "flash_id");
  r.result = ResultFromText(TextAt(json, "result"));
  r.message = TextAt(json, "message");
  r.duration_ms = NumberAt(json, "duration_ms");
  r.reports_sent = NumberAt(json, "reports_sent");
  return true;
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
                                  ResultText(r.result),
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

}  // namespace qv::station
