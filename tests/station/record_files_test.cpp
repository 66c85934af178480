// What the station's files may be: the record, the trace and the record a report reads, over
// every kind of target a path can name; the report's limits and its escaping of device texts.
// A FIFO with a reader and a full disk are tried in record_files_posix_test.cpp.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "file_traps.h"
#include "system_skips.h"
#include "record_files_fixture.h"
#include "record_call.h"
#include "station/record_file.h"
#include "station/record_reader.h"
#include "station/record_summary.h"
#include "station/trace_file.h"
#include "station/visible_text.h"

namespace qv::station {
namespace {

namespace fs = std::filesystem;

// One kind of target, made at a path, and what each of the three readers and writers makes of
// it: "" when it is taken, else the exact reason.
struct Target {
  const char* name;
  std::function<test::PlacedSpecialFile(const fs::path& dir)> make;
  std::string record;
  std::string trace;
  std::string report;
};

test::PlacedSpecialFile Regular(const fs::path& dir) {
  std::ofstream(dir / "target", std::ios::binary) << kEarlier;
  return {dir / "target", {}};
}

test::PlacedSpecialFile LinkToVictim(const fs::path& dir) {
  std::ofstream(dir / "victim", std::ios::binary) << kEarlier;
  return {dir / "target", test::MakeSymlink(dir / "victim", dir / "target")};
}

test::PlacedSpecialFile DanglingLink(const fs::path& dir) {
  return {dir / "target", test::MakeSymlink(dir / "planted", dir / "target")};
}

test::PlacedSpecialFile Fifo(const fs::path& dir) {
  return {dir / "target", test::MakeFifo(dir / "target")};
}

test::PlacedSpecialFile Directory(const fs::path& dir) {
  fs::create_directory(dir / "target");
  return {dir / "target", {}};
}

std::vector<Target> Targets() {
  const std::string absent = test::SystemReasonText(test::SystemReason::kNoSuchFile);
  const std::string link = "It is a symbolic link, not a regular file";
  const std::string fifo = "It is a FIFO, not a regular file";
  const std::string directory = "It is a directory, not a regular file";
  const std::string device = "It is a character device, not a regular file";
  const auto device_at = [](const char* node) {
    return [node](const fs::path&) -> test::PlacedSpecialFile {
      return {test::CharacterDevice(node), {}};
    };
  };
  return {
      {"regular file", Regular, "", "", ""},
      {"absent", [](const fs::path& dir) -> test::PlacedSpecialFile { return {dir / "target", {}}; },
       "", "", absent},
      {"symlink to a regular file", LinkToVictim, link, link, ""},
      {"dangling symlink", DanglingLink, link, link, absent},
      {"FIFO without a reader", Fifo, fifo, fifo, fifo},
      {"directory", Directory, directory, directory, directory},
      {"/dev/full", device_at("/dev/full"), device, device, device},
      {"/dev/zero", device_at("/dev/zero"), device, device, device},
  };
}

// Every target is taken or refused at once, with its reason; nothing refused is changed, and a
// taken regular file keeps what it held.
class TargetKind : public TargetFolder, public ::testing::WithParamInterface<Target> {};

TEST_P(TargetKind, RecordTraceAndReportTakeRegularFilesOnly) {
  const Target& t = GetParam();
  for (const char* use : {"record", "trace", "report"}) {
    SCOPED_TRACE(use);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const test::PlacedSpecialFile placed = t.make(dir_);
    QV_SKIP_UNMADE(placed.skip);
    const fs::path& path = placed.path;
    const auto before = test::FolderSnapshot(dir_);
    std::string error;
    std::string expected;
    bool taken = false;
    if (std::string(use) == "record") {
      expected = t.record;
      RecordFile record;
      taken = Did(record.Open(path.string()), error);
      if (taken) {
        EXPECT_TRUE(Did(record.Append(OneRun(1)), error)) << error;
      }
    } else if (std::string(use) == "trace") {
      expected = t.trace;
      const Result<std::FILE*> file = OpenTraceFile(path.string(), std::nullopt);
      taken = Did(file, error);
      if (taken) {
        std::fputs("trace\n", *file);
        std::fclose(*file);
      }
    } else {
      expected = t.report;
      uint64_t unreadable = 0;
      int records = 0;
      taken = ReadRecordFile(path.string(), [&](const UnitRecord&) { ++records; }, unreadable,
                             error);
      if (taken) {
        EXPECT_EQ(unreadable, 1u);
      }
    }
    EXPECT_EQ(taken, expected.empty()) << error;
    if (!taken) {
      EXPECT_EQ(error, expected);
      EXPECT_EQ(test::FolderSnapshot(dir_), before);
    }
    if (std::string(t.name) == "regular file" && std::string(use) != "report") {
      EXPECT_EQ(Slurp(path).rfind(kEarlier, 0), 0u) << "what the file held is kept";
    }
    if (fs::exists(dir_ / "victim")) {
      EXPECT_EQ(Slurp(dir_ / "victim"), kEarlier);
    }
    if (fs::exists(dir_ / "planted")) ADD_FAILURE() << "a file was made through the link";
  }
}

// The target's name as a test's name: its words joined, each starting with a capital.
std::string TargetTestName(const ::testing::TestParamInfo<Target>& info) {
  std::string name;
  bool start = true;
  for (const char c : std::string(info.param.name)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      start = true;
      continue;
    }
    name += start ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    start = false;
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryTarget, TargetKind, ::testing::ValuesIn(Targets()), TargetTestName);

// The trace never lands in the record (it would ruin it) nor in a file another user planted.
TEST_F(TargetFolder, TraceIsNeverTheRecordNorAnotherUsersFile) {
  RecordFile record;
  std::string error;
  ASSERT_TRUE(Did(record.Open((dir_ / "record").string()), error)) << error;
  ASSERT_TRUE(Did(record.Append(OneRun(1)), error));
  const std::string kept = Slurp(dir_ / "record");
  EXPECT_FALSE(Did(OpenTraceFile((dir_ / "record").string(), record.identity()), error));
  EXPECT_EQ(error, kTraceIsRecord);
  fs::create_hard_link(dir_ / "record", dir_ / "other-name");
  EXPECT_FALSE(Did(OpenTraceFile((dir_ / "other-name").string(), record.identity()), error));
  EXPECT_EQ(Slurp(dir_ / "record"), kept);

  std::ofstream(dir_ / "planted") << "theirs\n";
  if (test::CanGiveToAnotherUser()) {
    ASSERT_TRUE(test::GiveToAnotherUser(dir_ / "planted"));
    EXPECT_FALSE(Did(OpenTraceFile((dir_ / "planted").string(), std::nullopt), error));
    EXPECT_EQ(error, kNotOwnFile);
    EXPECT_EQ(Slurp(dir_ / "planted"), "theirs\n");
  }
}

// Lines past the length or nesting limits are skipped and counted; the lines around them are
// read. A last line without its newline (cut by a crash) counts as what it is.
TEST_F(TargetFolder, ReportSkipsOverlongAndDeepLines) {
  const fs::path path = dir_ / "record";
  {
    std::ofstream out(path, std::ios::binary);
    out << UnitRecordLine(OneRun(1));
    out << std::string(kMaxRecordLine + 10, '[') << "\n";
    out << std::string(kMaxRecordLine * 3, 'x') << "\n";
    out << std::string(100, '[') << std::string(100, ']') << "\n";
    out << "{\"result\":\"updated\",\"x\":" << std::string(kMaxRecordNesting + 1, '[')
        << std::string(kMaxRecordNesting + 1, ']') << "}\n";
    out << "{\"result\":\"updated\",\"x\":\"[[[[[[[[[[[[[[[[[[[\"}\n";  // brackets in a text
    out << UnitRecordLine(OneRun(2));
    const std::string cut = UnitRecordLine(OneRun(3));
    out << cut.substr(0, cut.size() / 2);
  }
  std::vector<uint64_t> units;
  uint64_t unreadable = 0;
  std::string error;
  ASSERT_TRUE(ReadRecordFile(path.string(), [&](const UnitRecord& r) { units.push_back(r.unit); },
                             unreadable, error))
      << error;
  EXPECT_EQ(units, (std::vector<uint64_t>{1, 0, 2}));
  EXPECT_EQ(unreadable, 5u);
}

}  // namespace

// Each unit counts once, by its last run, for retries in any order, runs without a unit number
// (each a unit of its own), unit numbers far apart and far beyond the units seen.
TEST(RecordTally, CountsEachUnitOnceByItsLastRun) {
  auto run = [](std::string session, uint64_t unit, uint32_t attempt, std::string result,
                std::string message = "") {
    UnitRecord r;
    r.session = std::move(session);
    r.unit = unit;
    r.attempt = attempt;
    r.result = ResultFromText(result);
    r.message = std::move(message);
    r.start = "2026-03-01T10:00:00.000Z";
    r.end = "2026-03-01T10:00:" + std::to_string(10 + unit % 40) + ".000Z";
    return r;
  };
  const std::vector<UnitRecord> records = {
      run("a", 1, 1, "failed", "Check data faile !"), run("a", 1, 2, "updated"),
      run("a", 2, 2, "updated"), run("a", 2, 1, "failed", "late line of an earlier attempt"),
      run("a", 3, 1, "failed", "Check data faile !"), run("b", 1, 1, "declined"),
      run("a", 0, 1, "updated"), run("a", 0, 1, "failed", "x"),
      run("b", 18'446'744'073'709'551'615u, 1, "interrupted"), run("b", 1'000'000, 1, "failed"),
      run("b", 1'000'000, 2, "failed", "second"), run("b", 2, 1, "updated"),
  };
  RecordTally tally;
  for (const UnitRecord& r : records) tally.Add(r);
  const RecordSummary tallied = tally.Summary();
  EXPECT_EQ(tallied.units, 9u);
  EXPECT_EQ(tallied.updated, 4u);
  EXPECT_EQ(tallied.retries, 3u);
  EXPECT_EQ(tallied.failed_by_message,
            (std::map<std::string, uint64_t>{{"Check data faile !", 1}, {"second", 1}, {"x", 1}}));
  // The units not updated, each once with its last run, in order of session and unit.
  std::vector<std::string> named;
  for (const UnitNotUpdated& unit : tallied.not_updated) {
    named.push_back(unit.session + " " + std::to_string(unit.unit) + " " +
                    ResultText(unit.result) + " " + unit.message);
  }
  EXPECT_EQ(named, (std::vector<std::string>{"a 0 failed x", "a 3 failed Check data faile !",
                                             "b 1 declined ", "b 1000000 failed second",
                                             "b 18446744073709551615 interrupted "}));
}

// A cell a spreadsheet would take for a formula starts with ' instead; everything else is kept.
TEST(RecordCsv, NoCellStartsAFormula) {
  const struct {
    std::string serial;
    std::string cell;
  } cases[] = {
      {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
      {"+1", "'+1"},
      {"-2+3", "'-2+3"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tcmd", "'\tcmd"},
      {"\r=1", "\"'\r=1\""},
      {"SN-0001", "SN-0001"},
      {"", ""},
  };
  for (const auto& c : cases) {
    UnitRecord r = OneRun(1);
    r.device_serial = c.serial;
    const std::string row = RecordCsvRow(r);
    EXPECT_EQ(row.rfind("s,1,1" + std::string(10, ',') + c.cell + ",,,updated,", 0), 0u) << row;
  }
}

// A device's text reaches the terminal as visible characters only.
TEST(VisibleText, ShowsControlsAndBrokenBytesEscaped) {
  const struct {
    std::string in;
    std::string shown;
  } cases[] = {
      {"SN-0001", "SN-0001"},
      {"\x1b]0;owned\x07", "\\x1B]0;owned\\x07"},
      {"a\rb\nc\x7f", "a\\x0Db\\x0Ac\\x7F"},
      {"\xc2\x9b" "31m", "\\xC2\\x9B31m"},  // C1 control sequence introducer
      {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
      {"\xff\xc3", "\\xFF\\xC3"},
      {"\xed\xa0\x80", "\\xED\\xA0\\x80"},  // a surrogate
      {"back\\x41", "back\\x5Cx41"},        // never mistaken for an escape
  };
  for (const auto& c : cases) EXPECT_EQ(VisibleText(c.in), c.shown) << c.in;
}

}  // namespace qv::station
