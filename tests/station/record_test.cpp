// The station record: one JSON line per run, appended whole, read back and summed up by unit.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "package/package_source.h"
#include "record_call.h"
#include "station/record_summary.h"
#include "station/hashing_package_source.h"
#include "station/record_file.h"
#include "station/unit_record.h"
#include "temp_folder.h"

namespace qv::station {
namespace {

namespace fs = std::filesystem;

UnitRecord RunOf(std::string session, uint64_t unit, uint32_t attempt, std::string result,
               std::string message = "", std::string start = "2026-03-01T10:00:00.000Z",
               std::string end = "2026-03-01T10:00:30.000Z") {
  UnitRecord r;
  r.session = std::move(session);
  r.unit = unit;
  r.attempt = attempt;
  r.result = ResultFromText(result);
  r.message = std::move(message);
  r.start = std::move(start);
  r.end = std::move(end);
  return r;
}

TEST(UnitRecordLine, IsOneLineThatReadsBackWhole) {
  UnitRecord r = RunOf("s1", 3, 2, "failed", "Write data faile, please connect usb cable to device !\nwhich: map");
  r.station = "line-4";
  r.updater = "1.2";
  r.package_file = "QVUpdate.Bin";
  r.package_sha256 = std::string(64, 'a');
  r.package_version = "50313233005334353600";
  r.device_path = "/dev/hidraw3";
  r.device_port = "1-2.3";
  r.device_serial = "SN\xff\x01";  // a device may report anything, invalid UTF-8 included
  r.serial_after_reset = "";       // came back from its reset without one
  r.version_before = "5000000000";
  r.flash_id = "C216";
  r.duration_ms = 12345;
  r.reports_sent = 987;
  r.area = "map";
  r.package_signature_key = "7744D41E30D670D8";

  const std::string line = UnitRecordLine(r);
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1);

  UnitRecord back;
  ASSERT_TRUE(ParseUnitRecord(line, back));
  EXPECT_EQ(back.message, r.message);
  EXPECT_EQ(back.unit, 3u);
  EXPECT_EQ(back.attempt, 2u);
  EXPECT_EQ(back.device_port, "1-2.3");
  EXPECT_EQ(back.device_serial.substr(0, 2), "SN");
  EXPECT_EQ(back.serial_after_reset, std::optional<std::string>(""));
  EXPECT_NE(line.find("\"serial_after_reset\":\"\""), std::string::npos) << line;
  EXPECT_EQ(back.flash_id, "C216");
  EXPECT_EQ(back.duration_ms, 12345u);
  EXPECT_EQ(back.reports_sent, 987u);
  EXPECT_EQ(back.package_sha256, r.package_sha256);

  EXPECT_EQ(back.schema, kRecordSchema);
  EXPECT_EQ(back.result, UnitResult::kFailed);
  EXPECT_EQ(back.package_signature_key, "7744D41E30D670D8");
  EXPECT_NE(line.find("\"signature_key\":\"7744D41E30D670D8\""), std::string::npos) << line;
  // The key is the CSV's last column, after the columns stored exports already have.
  const std::string row = RecordCsvRow(back);
  EXPECT_EQ(row.substr(row.size() - 19), ",7744D41E30D670D8\r\n") << row;

  // The reader reads line after line into one record: a line without the optional fields leaves
  // none of the line before's.
  ASSERT_TRUE(ParseUnitRecord(UnitRecordLine(RunOf("s2", 4, 1, "updated")), back));
  EXPECT_EQ(back.session, "s2");
  EXPECT_EQ(back.area, "");
  EXPECT_EQ(back.package_signature_key, "");
  EXPECT_EQ(back.serial_after_reset, std::nullopt);
  EXPECT_EQ(back.device_serial, "");

  for (const char* bad : {"", "{", "[]", "{}", "{\"unit\":1}", "null"}) {
    EXPECT_FALSE(ParseUnitRecord(bad, back)) << bad;
  }
}

// Every result has one text, which reads back as itself; a text never written reads as a
// failure, as the report has always counted it.
TEST(UnitResultText, ReadsBackAndUnknownIsFailure) {
  for (UnitResult r : {UnitResult::kUpdated, UnitResult::kFailed, UnitResult::kDeclined,
                       UnitResult::kInterrupted}) {
    EXPECT_EQ(ResultFromText(ResultText(r)), r) << ResultText(r);
  }
  EXPECT_STREQ(ResultText(UnitResult::kInterrupted), "interrupted");
  EXPECT_EQ(ResultFromText("skipped"), UnitResult::kFailed);
  EXPECT_EQ(ResultFromText(""), UnitResult::kFailed);
}

// A line carries its schema version; lines written before it (no version) read the same, with
// version 0, and keep the field names stored records have.
TEST(UnitRecordLine, ReadsLinesWithAndWithoutTheSchemaVersion) {
  const nlohmann::json line =
      nlohmann::json::parse(UnitRecordLine(RunOf("s", 7, 1, "declined")));
  EXPECT_EQ(line.at("schema"), kRecordSchema);
  for (const char* key : {"session", "unit", "attempt", "start", "end", "station", "updater",
                          "package", "device", "before", "result", "message", "duration_ms",
                          "reports_sent"}) {
    EXPECT_TRUE(line.contains(key)) << key;
  }
  EXPECT_EQ(line.at("result"), "declined");

  const std::string old_line =
      R"({"session":"line4-1","unit":12,"attempt":2,"start":"2026-12-10T08:41:07.125Z",)"
      R"("end":"2026-12-10T08:41:16.480Z","station":"line4","updater":"1.2",)"
      R"("package":{"file":"QVUpdate.Bin","sha256":"9f2c","version":"4101"},)"
      R"("device":{"path":"/dev/hidraw3","port":"1-2.3","serial":"A1B2C3"},)"
      R"("before":{"version":"5001","flash_id":"C216"},"result":"updated",)"
      R"("message":"Updata success !","duration_ms":9355,"reports_sent":4312})";
  UnitRecord old;
  ASSERT_TRUE(ParseUnitRecord(old_line, old));
  EXPECT_EQ(old.schema, 0u);
  EXPECT_EQ(old.unit, 12u);
  EXPECT_EQ(old.result, UnitResult::kUpdated);
  EXPECT_EQ(old.device_port, "1-2.3");
  EXPECT_EQ(old.package_sha256, "9f2c");
  EXPECT_EQ(old.reports_sent, 4312u);
}

// Unit numbers are 64-bit from the record to the summary: a unit past 2^32 stays apart from
// unit 1 of the same session.
TEST(RecordSummary, UnitNumbersPastThirtyTwoBitsStayApart) {
  const uint64_t far = (uint64_t{1} << 32) + 1;
  UnitRecord back;
  ASSERT_TRUE(ParseUnitRecord(UnitRecordLine(RunOf("s", far, 1, "failed", "x")), back));
  EXPECT_EQ(back.unit, far);
  const RecordSummary s =
      SummariseRecords({RunOf("s", 1, 1, "updated"), back});
  EXPECT_EQ(s.units, 2u);
  EXPECT_EQ(s.updated, 1u);
  EXPECT_EQ(s.retries, 0u);
  ASSERT_EQ(s.not_updated.size(), 1u);
  EXPECT_EQ(s.not_updated[0].unit, far);
}

TEST(UnitRecordLine, TimesAreUtcWithMilliseconds) {
  EXPECT_EQ(IsoUtc(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(IsoUtc(1'767'225'600'250), "2026-01-01T00:00:00.250Z");
  EXPECT_EQ(ParseIsoUtc("2026-01-01T00:00:00.250Z"), 1'767'225'600'250);
  EXPECT_FALSE(ParseIsoUtc("2026-01-01 00:00:00"));
  EXPECT_FALSE(ParseIsoUtc("2026-13-01T00:00:00.000Z"));
}

TEST(RecordFile, AppendsWholeLinesAndSaysWhyItCannotOpen) {
  const test::TempFolder folder("qv_record");
  const fs::path path = folder.path() / "record.jsonl";
  {
    std::ofstream(path) << "earlier line\n";
    RecordFile file;
    std::string error;
    ASSERT_TRUE(Did(file.Open(path.string()), error)) << error;
    ASSERT_TRUE(Did(file.Append(RunOf("s", 1, 1, "updated")), error)) << error;
    ASSERT_TRUE(Did(file.Append(RunOf("s", 2, 1, "failed", "x")), error)) << error;
  }
  {
    // Closed before the file is removed: Windows removes no file that is open.
    std::ifstream in(path);
    uint64_t unreadable = 0;
    const std::vector<UnitRecord> records = ReadRecords(in, unreadable);
    EXPECT_EQ(unreadable, 1u);  // the line that was there before is kept, and is no record
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].result, UnitResult::kFailed);
  }
  fs::remove(path);

  RecordFile directory;
  std::string error;
  EXPECT_FALSE(Did(directory.Open(fs::temp_directory_path().string()), error));
  EXPECT_EQ(error, "It is a directory, not a regular file");
}

// A unit that failed and then passed is one unit, updated, with one retry; failures are
// counted by the message of each unit's last run; the rate runs over each session's time.
TEST(RecordSummary, CountsUnitsNotRuns) {
  std::vector<UnitRecord> records = {
      RunOf("a", 1, 1, "failed", "Connect to device faile,please connect usb cable to device !",
          "2026-03-01T10:00:00.000Z", "2026-03-01T10:00:10.000Z"),
      RunOf("a", 1, 2, "updated", "Updata success !"),
      RunOf("a", 2, 1, "failed", "Check data faile !"),
      RunOf("a", 3, 1, "failed", "Check data faile !"),
      RunOf("a", 4, 1, "declined"),
      RunOf("a", 5, 1, "interrupted", "", "2026-03-01T10:00:00.000Z", "2026-03-01T10:30:00.000Z"),
      // Another session on the same day: its own unit 1, and its own half hour.
      RunOf("b", 1, 1, "updated", "Updata success !", "2026-03-01T12:00:00.000Z",
          "2026-03-01T12:30:00.000Z"),
  };
  for (UnitRecord& r : records) r.device_port = "1-" + std::to_string(r.unit);
  records[3].area = "sound";
  records[3].device_serial = "\x1b]0;owned\x07";  // what a device says is escaped
  records[3].device_port = "";
  records[5].area = "map";
  const RecordSummary s = SummariseRecords(records);
  EXPECT_EQ(s.units, 6u);
  EXPECT_EQ(s.updated, 2u);
  EXPECT_EQ(s.failed(), 2u);
  EXPECT_EQ(s.failed_by_message.at("Check data faile !"), 2u);
  EXPECT_EQ(s.declined, 1u);
  EXPECT_EQ(s.interrupted, 1u);
  EXPECT_EQ(s.retries, 1u);
  ASSERT_TRUE(s.units_per_hour);
  EXPECT_DOUBLE_EQ(*s.units_per_hour, 6.0);
  ASSERT_TRUE(s.updated_per_hour);  // the units that ended updated, over the same hour
  EXPECT_DOUBLE_EQ(*s.updated_per_hour, 2.0);

  // Each failure's message once, with the units it ended, their device and area; the units
  // declined and interrupted under their counts.
  EXPECT_EQ(SummaryText(s),
            "Units: 6\n"
            "Updated: 2\n"
            "Failed: 2\n"
            "  2  Check data faile !\n"
            "       unit 2 of a: port 1-2\n"
            "       unit 3 of a: serial \\x1B]0;owned\\x07, sound area\n"
            "Declined: 1\n"
            "  unit 4 of a: port 1-4\n"
            "Interrupted: 1\n"
            "  unit 5 of a: port 1-5, map area\n"
            "Retries: 1\n"
            "Units per hour: 6.0\n"
            "Updated units per hour: 2.0\n");
}

// Under one message the summary names the first units and counts the rest.
TEST(RecordSummary, NamesTheFirstUnitsOfAMessage) {
  std::vector<UnitRecord> records;
  for (uint64_t unit = 1; unit <= kUnitsNamedPerLine + 2; ++unit) {
    records.push_back(RunOf("a", unit, 1, "failed", "Check data faile !"));
  }
  const std::string text = SummaryText(SummariseRecords(records));
  EXPECT_NE(text.find("       unit 10\n       and 2 more\nDeclined: 0\n"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("unit 11"), std::string::npos) << text;
}

TEST(RecordSummary, CsvQuotesWhatNeedsIt) {
  const std::string csv =
      RecordsCsv({RunOf("a", 1, 1, "failed", "Erase data faile ,please \"see\"\nmap")});
  std::istringstream lines(csv);
  std::string header;
  std::getline(lines, header);
  EXPECT_EQ(header.rfind("session,unit,attempt,start,end,", 0), 0u);
  EXPECT_NE(csv.find(",failed,\"Erase data faile ,please \"\"see\"\"\nmap\",0,0,,,\r\n"),
            std::string::npos)
      << csv;
}

// The package's hash is of the bytes the loader read: each open starts it again (the loader
// opens twice), and what the file holds afterwards does not change it.
TEST(HashingPackageSource, HashesTheBytesReadSinceTheLastOpen) {
  const std::string abc = "abc";
  const std::vector<uint8_t> bytes(abc.begin(), abc.end());
  MemoryPackageSource memory(bytes);
  HashingPackageSource source(memory);
  uint8_t buffer[8];
  ASSERT_TRUE(source.Open());
  (void)source.Read(buffer, 2);  // the measuring open reads part, or nothing
  source.Close();
  ASSERT_TRUE(source.Open());
  EXPECT_EQ(source.Read(buffer, 2), 2u);
  EXPECT_EQ(source.Read(buffer + 2, 6), 1u);
  source.Close();
  EXPECT_EQ(source.HexDigest(),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  Sha256 empty;
  EXPECT_EQ(empty.HexDigest(),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
// A report over several stations' records breaks the units down by station and by package: a
// session's units belong to its station and package, each unit counted once by its last run.
TEST(RecordSummary, BreaksTheUnitsDownByStationAndPackage) {
  const auto run = [](std::string session, std::string station, char package, uint64_t unit,
                      uint32_t attempt, std::string result) {
    UnitRecord r = RunOf(std::move(session), unit, attempt, std::move(result), "m");
    r.station = std::move(station);
    r.package_sha256 = std::string(64, package);
    r.package_file = std::string("P") + package + ".Bin";
    return r;
  };
  const RecordSummary s = SummariseRecords({
      run("a1", "line4", 'a', 1, 1, "failed"),
      run("a1", "line4", 'a', 1, 2, "updated"),
      run("a1", "line4", 'a', 2, 1, "declined"),
      run("a2", "line4", 'b', 1, 1, "interrupted"),
      run("b1", "line5", 'b', 1, 1, "failed"),
      run("b1", "line5", 'b', 2, 1, "updated"),
  });
  EXPECT_EQ(s.units, 5u);
  ASSERT_EQ(s.by_station.size(), 2u);
  const GroupCounts& line4 = s.by_station.at("line4");
  EXPECT_EQ(line4.units, 3u);
  EXPECT_EQ(line4.updated, 1u);
  EXPECT_EQ(line4.declined, 1u);
  EXPECT_EQ(line4.interrupted, 1u);
  EXPECT_EQ(line4.failed, 0u);
  EXPECT_EQ(line4.retries, 1u);
  const GroupCounts& b = s.by_package.at(std::string(64, 'b'));
  EXPECT_EQ(b.units, 3u);
  EXPECT_EQ(b.failed, 1u);
  EXPECT_EQ(b.file, "Pb.Bin");
  EXPECT_EQ(BreakdownText(s),
            "By station:\n"
            "  line4: 3 units, 1 updated, 0 failed, 1 declined, 1 interrupted, 1 retries\n"
            "  line5: 2 units, 1 updated, 1 failed, 0 declined, 0 interrupted, 0 retries\n"
            "By package:\n"
            "  " + std::string(64, 'a') + " (Pa.Bin): 2 units, 1 updated, 0 failed, 1 declined, 0 interrupted, 1 retries\n"
            "  " + std::string(64, 'b') + " (Pb.Bin): 3 units, 1 updated, 1 failed, 0 declined, 1 interrupted, 0 retries\n");
}

// However many stations a record names, the breakdown lists kMaxGroups of them and counts the
// rest together.
TEST(RecordSummary, ListsABoundedNumberOfStations) {
  RecordTally tally;
  for (std::size_t n = 0; n < kMaxGroups + 5; ++n) {
    UnitRecord r = RunOf("s" + std::to_string(n), 1, 1, "updated");
    r.station = "host" + std::to_string(100000 + n);
    tally.Add(r);
  }
  const RecordSummary s = tally.Summary();
  EXPECT_EQ(s.units, kMaxGroups + 5);
  EXPECT_EQ(s.by_station.size(), kMaxGroups + 1);
  EXPECT_EQ(s.by_station.at(kOtherGroups).units, 5u);
  ASSERT_EQ(s.by_package.size(), 1u);
  EXPECT_EQ(s.by_package.begin()->second.units, kMaxGroups + 5);
}

}  // namespace qv::station
