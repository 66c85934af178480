#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"
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
  // The serial number the device reported in its update mode, after the reset, when it was not
  // device_serial (empty: none). Written only then.
  std::optional<std::string> serial_after_reset;
  std::string version_before;  // answer bytes 0..13, hexadecimal; empty without an answer
  std::string flash_id;        // the answer's four flash id characters, when it had them
  UnitResult result = UnitResult::kFailed;
  std::string message;  // the message shown for the outcome
  uint64_t duration_ms = 0;
  uint64_t reports_sent = 0;
  // The area being written when a run that did not get to its end stopped ("program",
  // "sound", "map"); empty for one updated or stopped before any area. Written only when not
  // empty.
  std::string area = {};
  // The id of the trusted key whose signature the package was checked with (flash
  // --require-signature), as minisign shows it; empty when none was required. Written, in the
  // package object, only when not empty.
  std::string package_signature_key = {};
};

// The record as one JSON line, newline included. Every text is kept as valid UTF-8 (a device
// may report anything as its serial number).
[[nodiscard]] std::string UnitRecordLine(const UnitRecord& record);

// The longest line and the deepest nesting a record line is read with. A station's lines are
// under a kilobyte and nest two deep; the limits keep a damaged or hostile record from taking
// the reader's memory or stack.
inline constexpr std::size_t kMaxRecordLine = 64 * 1024;
inline constexpr int kMaxRecordNesting = 8;

// Reads one record line back, with or without its schema version. False for anything that is
// not a record object (lines over the limits included); a field of the wrong type counts as
// missing.
[[nodiscard]] bool ParseUnitRecord(const std::string& line, UnitRecord& record);

// One CSV row per run, with a header row; fields quoted where they need it. A text a device or
// a file controls never reaches a spreadsheet as a formula: a cell that would start with =, +,
// -, @, a tab or a carriage return starts with ' instead.
[[nodiscard]] std::string RecordsCsv(const std::vector<UnitRecord>& records);
[[nodiscard]] std::string RecordsCsvHeader();
[[nodiscard]] std::string RecordCsvRow(const UnitRecord& record);

// Milliseconds since the epoch as UTC ISO 8601 with milliseconds: 2026-01-31T12:00:00.250Z.
[[nodiscard]] std::string IsoUtc(int64_t epoch_ms);

// Where a station's records go.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // On failure the reason the line could not be kept, as its message.
  [[nodiscard]] virtual Result<> Append(const UnitRecord& record) = 0;
};

}  // namespace qv::station
