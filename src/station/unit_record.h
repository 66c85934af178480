#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "station/unit_result.h"

namespace qv::station {

// The version of the record's line format. Lines written before it was recorded carry none and
// read as version 0; their fields are the same.
inline constexpr uint32_t kRecordSchema = 1;

// One line of a station record: what happened to one device in one run. Written as a single
// JSON object on one line. The field names in the line are kept from version 0 on: stored
// records and the tools reading them rely on them.
struct UnitRecord {
  uint32_t schema = kRecordSchema;
  std::string session;  // identifies the station run the unit belongs to
  uint64_t unit = 0;    // the unit's number within the session, from 1
  uint32_t attempt = 0;  // 1 for the first run on the unit, 2 for its first retry, ...
  std::string start;    // UTC, ISO 8601
  std::string end;
  std::string station;  // host name
  std::string updater;  // this program's version
  std::string package_file;
  std::string package_sha256;  // of the package bytes the session loaded and flashed
  std::string package_version;  // the version record, hexadecimal
  std::string device_path;
  std::string device_port;
  std::string device_serial;
  std::string version_before;  // answer bytes 0..13, hexadecimal; empty without an answer
  std::string flash_id;        // the answer's four flash id characters, when it had them
  UnitResult result = UnitResult::kFailed;
  std::string message;  // the message shown for the outcome
  uint64_t duration_ms = 0;
  uint64_t reports_sent = 0;
};

// The record as one JSON line, newline included. Every text is kept as valid UTF-8 (a device
// may report anything as its serial number).
[[nodiscard]] std::string UnitRecordLine(const UnitRecord& record);

// Reads one record line back, with or without its schema version. False for anything that is
// not a record object; a field of the wrong type counts as missing.
[[nodiscard]] bool ParseUnitRecord(const std::string& line, UnitRecord& record);

// One CSV row per run, with a header row; fields quoted where they need it.
[[nodiscard]] std::string RecordsCsv(const std::vector<UnitRecord>& records);

// Milliseconds since the epoch as UTC ISO 8601 with milliseconds: 2026-01-31T12:00:00.250Z.
[[nodiscard]] std::string IsoUtc(int64_t epoch_ms);

// Where a station's records go.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // False with the reason in `error` when the line could not be kept.
  [[nodiscard]] virtual bool Append(const UnitRecord& record, std::string& error) = 0;
};

// The record file, opened for appending. Each line goes out with one write() and is flushed to
// the disk before Append returns, so a crash or power cut loses at most the unit in progress
// and never leaves half a line.
class RecordFile final : public RecordSink {
 public:
  RecordFile() = default;
  ~RecordFile() override;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // False with the system's reason in `error`.
  [[nodiscard]] bool Open(const std::string& path, std::string& error);
  [[nodiscard]] bool Append(const UnitRecord& record, std::string& error) override;
  [[nodiscard]] bool AppendLine(const std::string& line, std::string& error);
  [[nodiscard]] bool is_open() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace qv::station
