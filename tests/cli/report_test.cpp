// qvupdate report over several stations' records, through the real program: one record reads as
// the station's own summary, several (files or a folder of *.jsonl) add the units by station and
// by package, in text, JSON and CSV.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.h"
#include "station/record_summary.h"
#include "station/unit_record.h"
#include "temp_folder.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;

test::ProgramRun Report(std::vector<std::string> args, const fs::path& folder) {
  args.insert(args.begin(), {QVUPDATE_PATH, "report"});
  return test::RunProgram(args, {}, folder);
}

station::UnitRecord StationRun(const std::string& station, char package, uint64_t unit,
                        uint32_t attempt, const char* result) {
  station::UnitRecord r;
  r.session = station + "-1";
  r.station = station;
  r.unit = unit;
  r.attempt = attempt;
  r.result = station::ResultFromText(result);
  r.message = result == std::string("updated") ? "Updata success !" : "Erase faile";
  r.package_file = "QVUpdate.Bin";
  r.package_sha256 = std::string(64, package);
  r.start = "2026-03-01T10:00:00.000Z";
  r.end = "2026-03-01T10:00:30.000Z";
  return r;
}

void WriteRecord(const fs::path& path, const std::vector<station::UnitRecord>& runs) {
  std::ofstream out(path, std::ios::binary);
  for (const station::UnitRecord& r : runs) out << station::UnitRecordLine(r);
}

class ReportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(records_);
    line4_ = {StationRun("line4", 'a', 1, 1, "failed"), StationRun("line4", 'a', 1, 2, "updated"),
              StationRun("line4", 'a', 2, 1, "updated")};
    line5_ = {StationRun("line5", 'b', 1, 1, "failed"), StationRun("line5", 'b', 2, 1, "declined")};
    WriteRecord(records_ / "line4.jsonl", line4_);
    WriteRecord(records_ / "line5.jsonl", line5_);
    std::ofstream(records_ / "notes.txt") << "not a record\n";
  }

  test::TempFolder folder_{"qv_report"};
  fs::path records_ = folder_.path() / "records";
  std::vector<station::UnitRecord> line4_, line5_;
};

TEST_F(ReportCommand, OneRecordReadsAsTheStationsSummary) {
  const test::ProgramRun run = Report({(records_ / "line4.jsonl").string()}, folder_.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, station::SummaryText(station::SummariseRecords(line4_)));
}

TEST_F(ReportCommand, SeveralRecordsAddTheBreakdown) {
  std::vector<station::UnitRecord> all = line4_;
  all.insert(all.end(), line5_.begin(), line5_.end());
  const station::RecordSummary summary = station::SummariseRecords(all);
  const std::string expected = station::SummaryText(summary) + station::BreakdownText(summary);
  // A folder stands for its *.jsonl files; two files say the same.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{records_.string()},
        std::vector<std::string>{(records_ / "line4.jsonl").string(),
                                 (records_ / "line5.jsonl").string()}}) {
    const test::ProgramRun run = Report(args, folder_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, expected);
  }
  EXPECT_NE(expected.find("  line5: 2 units, 0 updated, 1 failed, 1 declined, 0 interrupted, "
                          "0 retries\n"),
            std::string::npos)
      << expected;

  const test::ProgramRun json = Report({records_.string(), "--json"}, folder_.path());
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json parsed = nlohmann::json::parse(json.out, nullptr, false);
  ASSERT_TRUE(parsed.is_object()) << json.out;
  EXPECT_EQ(parsed["units"], 4);
  EXPECT_EQ(parsed["retries"], 1);
  EXPECT_EQ(parsed["records"].size(), 2u);
  ASSERT_EQ(parsed["by_station"].size(), 2u);
  EXPECT_EQ(parsed["by_station"][0]["station"], "line4");
  EXPECT_EQ(parsed["by_station"][0]["updated"], 2);
  ASSERT_EQ(parsed["by_package"].size(), 2u);
  EXPECT_EQ(parsed["by_package"][1]["sha256"], std::string(64, 'b'));
  EXPECT_EQ(parsed["by_package"][1]["failed"], 1);

  const test::ProgramRun runs = Report({records_.string(), "--csv"}, folder_.path());
  ASSERT_EQ(runs.status, 0) << runs.err;
  EXPECT_EQ(runs.out.rfind(station::RecordsCsvHeader(), 0), 0u);
  EXPECT_EQ(runs.out.find(station::RecordsCsvHeader(), 1), std::string::npos);  // one header
  std::string rows = station::RecordsCsvHeader();
  for (const station::UnitRecord& r : all) rows += station::RecordCsvRow(r);
  EXPECT_EQ(runs.out, rows);

  const test::ProgramRun stations =
      Report({records_.string(), "--csv", "--by", "station"}, folder_.path());
  ASSERT_EQ(stations.status, 0) << stations.err;
  EXPECT_EQ(stations.out,
            "station,units,updated,failed,declined,interrupted,retries\r\n"
            "\"line4\",2,2,0,0,0,1\r\n"
            "\"line5\",2,0,1,1,0,0\r\n");
}

TEST_F(ReportCommand, RefusesWhatHoldsNoRecord) {
  fs::create_directories(folder_.path() / "empty");
  const test::ProgramRun empty = Report({(folder_.path() / "empty").string()}, folder_.path());
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("No record (*.jsonl) in the folder"), std::string::npos) << empty.err;
  // One record that cannot be read fails the report, whatever the others hold.
  const test::ProgramRun missing =
      Report({records_.string(), (folder_.path() / "absent.jsonl").string()}, folder_.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Cannot read the record"), std::string::npos) << missing.err;
  EXPECT_NE(Report({records_.string(), "--by", "station"}, folder_.path()).status, 0);
}

}  // namespace
}  // namespace qv::cli
