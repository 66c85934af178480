// The station record: one JSON line per run, appended whole, read back and summed up by unit.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli_record_summary.h"
#include "cli/cli_sha256.h"
#include "cli/cli_unit_record.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;

UnitRecord RunOf(std::string session, uint32_t unit, uint32_t attempt, std::string result,
               std::string message = "", std::string start = "2026-03-01T10:00:00.000Z",
               std::string end = "2026-03-01T10:00:30.000Z") {
  UnitRecord r;
  r.session = std::move(session);
  r.unit = unit;
  r.attempt = attempt;
  r.result = std::move(result);
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
  r.version_before = "5000000000";
  r.flash_id = "C216";
  r.duration_ms = 12345;
  r.reports_sent = 987;

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
  EXPECT_EQ(back.flash_id, "C216");
  EXPECT_EQ(back.duration_ms, 12345u);
  EXPECT_EQ(back.reports_sent, 987u);
  EXPECT_EQ(back.package_sha256, r.package_sha256);

  for (const char* bad : {"", "{", "[]", "{}", "{\"unit\":1}", "null"}) {
    EXPECT_FALSE(ParseUnitRecord(bad, back)) << bad;
  }
}

TEST(UnitRecordLine, TimesAreUtcWithMilliseconds) {
  EXPECT_EQ(IsoUtc(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(IsoUtc(1'767'225'600'250), "2026-01-01T00:00:00.250Z");
  EXPECT_EQ(ParseIsoUtc("2026-01-01T00:00:00.250Z"), 1'767'225'600'250);
  EXPECT_FALSE(ParseIsoUtc("2026-01-01 00:00:00"));
  EXPECT_FALSE(ParseIsoUtc("2026-13-01T00:00:00.000Z"));
}

TEST(RecordFile, AppendsWholeLinesAndSaysWhyItCannotOpen) {
  const fs::path path = fs::temp_directory_path() / ("qv_record_" + std::to_string(getpid()));
  fs::remove(path);
  {
    std::ofstream(path) << "earlier line\n";
    RecordFile file;
    std::string error;
    ASSERT_TRUE(file.Open(path.string(), error)) << error;
    ASSERT_TRUE(file.Append(UnitRecordLine(RunOf("s", 1, 1, "updated")), error)) << error;
    ASSERT_TRUE(file.Append(UnitRecordLine(RunOf("s", 2, 1, "failed", "x")), error)) << error;
  }
  std::ifstream in(path);
  uint32_t unreadable = 0;
  const std::vector<UnitRecord> records = ReadRecords(in, unreadable);
  EXPECT_EQ(unreadable, 1u);  // the line that was there before is kept, and is no record
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].result, "failed");
  fs::remove(path);

  RecordFile directory;
  std::string error;
  EXPECT_FALSE(directory.Open(fs::temp_directory_path().string(), error));
  EXPECT_EQ(error, "Is a directory");
}

// A unit that failed and then passed is one unit, updated, with one retry; failures are
// counted by the message of each unit's last run; the rate runs over each session's time.
TEST(RecordSummary, CountsUnitsNotRuns) {
  const std::vector<UnitRecord> records = {
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

  const std::string text = SummaryText(s);
  EXPECT_NE(text.find("Units: 6\nUpdated: 2\nFailed: 2\n  2  Check data faile !\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Retries: 1\nUnits per hour: 6.0\n"), std::string::npos) << text;
}

TEST(RecordSummary, CsvQuotesWhatNeedsIt) {
  const std::string csv =
      RecordsCsv({RunOf("a", 1, 1, "failed", "Erase data faile ,please \"see\"\nmap")});
  std::istringstream lines(csv);
  std::string header;
  std::getline(lines, header);
  EXPECT_EQ(header.rfind("session,unit,attempt,start,end,", 0), 0u);
  EXPECT_NE(csv.find(",failed,\"Erase data faile ,please \"\"see\"\"\nmap\",0,0\r\n"),
            std::string::npos)
      << csv;
}

TEST(FileSha256, KnownDigestAndUnreadableFile) {
  const fs::path path = fs::temp_directory_path() / ("qv_sha_" + std::to_string(getpid()));
  std::ofstream(path, std::ios::binary) << "abc";
  EXPECT_EQ(FileSha256(path), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  fs::remove(path);
  EXPECT_EQ(FileSha256(path), "");
}

}  // namespace
}  // namespace qv::cli
