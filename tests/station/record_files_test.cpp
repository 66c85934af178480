// What the station's files may be: the record, the trace and the record a report reads, over
// every kind of target a path can name; whole lines only when the disk fills up; the report's
// limits and its escaping of device texts.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "file_traps.h"
#include "station/record_file.h"
#include "station/record_reader.h"
#include "station/record_summary.h"
#include "station/trace_file.h"
#include "station/visible_text.h"

namespace qv::station {
namespace {

namespace fs = std::filesystem;

const std::string kEarlier = "earlier line\n";

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

UnitRecord OneRun(uint64_t unit, const std::string& result = "updated") {
  UnitRecord r;
  r.session = "s";
  r.unit = unit;
  r.attempt = 1;
  r.result = ResultFromText(result);
  r.message = "Updata success !";
  return r;
}

class TargetFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qv_record_files_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// One kind of target, made at a path, and what each of the three readers and writers makes of
// it: "" when it is taken, else the exact reason.
struct Target {
  const char* name;
  std::function<fs::path(const fs::path& dir)> make;
  const char* record;
  const char* trace;
  const char* report;
};

fs::path Regular(const fs::path& dir) {
  std::ofstream(dir / "target") << kEarlier;
  return dir / "target";
}

fs::path LinkToVictim(const fs::path& dir) {
  std::ofstream(dir / "victim") << kEarlier;
  fs::create_symlink(dir / "victim", dir / "target");
  return dir / "target";
}

fs::path Fifo(const fs::path& dir) {
  EXPECT_EQ(::mkfifo((dir / "target").c_str(), 0600), 0);
  return dir / "target";
}

const Target kTargets[] = {
    {"regular file", Regular, "", "", ""},
    {"absent", [](const fs::path& dir) { return dir / "target"; }, "", "",
     "No such file or directory"},
    {"symlink to a regular file", LinkToVictim, "It is a symbolic link, not a regular file",
     "It is a symbolic link, not a regular file", ""},
    {"dangling symlink",
     [](const fs::path& dir) {
       fs::create_symlink(dir / "planted", dir / "target");
       return dir / "target";
     },
     "It is a symbolic link, not a regular file", "It is a symbolic link, not a regular file",
     "No such file or directory"},
    {"FIFO without a reader", Fifo, "It is a FIFO, not a regular file",
     "It is a FIFO, not a regular file", "It is a FIFO, not a regular file"},
    {"directory",
     [](const fs::path& dir) {
       fs::create_directory(dir / "target");
       return dir / "target";
     },
     "It is a directory, not a regular file", "It is a directory, not a regular file",
     "It is a directory, not a regular file"},
    {"/dev/full", [](const fs::path&) { return fs::path("/dev/full"); },
     "It is a character device, not a regular file", "It is a character device, not a regular file",
     "It is a character device, not a regular file"},
    {"/dev/zero", [](const fs::path&) { return fs::path("/dev/zero"); },
     "It is a character device, not a regular file", "It is a character device, not a regular file",
     "It is a character device, not a regular file"},
};

// Every target is taken or refused at once, with its reason; nothing refused is changed, and a
// taken regular file keeps what it held.
TEST_F(TargetFolder, RecordTraceAndReportTakeRegularFilesOnly) {
  for (const Target& t : kTargets) {
    SCOPED_TRACE(t.name);
    for (const char* use : {"record", "trace", "report"}) {
      SCOPED_TRACE(use);
      fs::remove_all(dir_);
      fs::create_directories(dir_);
      const fs::path path = t.make(dir_);
      const auto before = test::FolderSnapshot(dir_);
      std::string error;
      std::string expected;
      bool taken = false;
      if (std::string(use) == "record") {
        expected = t.record;
        RecordFile record;
        taken = record.Open(path.string(), error);
        if (taken) {
          EXPECT_TRUE(record.Append(OneRun(1), error)) << error;
        }
      } else if (std::string(use) == "trace") {
        expected = t.trace;
        std::FILE* file = OpenTraceFile(path.string(), std::nullopt, error);
        taken = file != nullptr;
        if (taken) {
          std::fputs("trace\n", file);
          std::fclose(file);
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
}

// A FIFO with a reader is no record either: the line would go to whoever reads, with nothing
// kept on a disk.
TEST_F(TargetFolder, RecordRefusesAFifoEvenWithAReader) {
  const fs::path path = Fifo(dir_);
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  RecordFile record;
  std::string error;
  EXPECT_FALSE(record.Open(path.string(), error));
  EXPECT_EQ(error, "It is a FIFO, not a regular file");
  ::close(reader);
}

// The trace never lands in the record (it would ruin it) nor in a file another user planted.
TEST_F(TargetFolder, TraceIsNeverTheRecordNorAnotherUsersFile) {
  RecordFile record;
  std::string error;
  ASSERT_TRUE(record.Open((dir_ / "record").string(), error)) << error;
  ASSERT_TRUE(record.Append(OneRun(1), error));
  const std::string kept = Slurp(dir_ / "record");
  EXPECT_EQ(OpenTraceFile((dir_ / "record").string(), record.identity(), error), nullptr);
  EXPECT_EQ(error, kTraceIsRecord);
  fs::create_hard_link(dir_ / "record", dir_ / "other-name");
  EXPECT_EQ(OpenTraceFile((dir_ / "other-name").string(), record.identity(), error), nullptr);
  EXPECT_EQ(Slurp(dir_ / "record"), kept);

  std::ofstream(dir_ / "planted") << "theirs\n";
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((dir_ / "planted").c_str(), test::kUnprivilegedId, test::kUnprivilegedId), 0);
    EXPECT_EQ(OpenTraceFile((dir_ / "planted").string(), std::nullopt, error), nullptr);
    EXPECT_EQ(error, kNotOwnFile);
    EXPECT_EQ(Slurp(dir_ / "planted"), "theirs\n");
  }
}

// The file-size limit makes the disk "full" at a byte of the test's choice: the line that does
// not fit is taken back whole, the next one that fits lands after the last whole line.
TEST_F(TargetFolder, AFullDiskLeavesWholeLinesOnly) {
  const fs::path path = dir_ / "record";
  RecordFile record;
  std::string error;
  ASSERT_TRUE(record.Open(path.string(), error)) << error;
  ASSERT_TRUE(record.Append(OneRun(1), error)) << error;
  const std::string first = Slurp(path);

  struct sigaction ignore {}, before {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &before);
  rlimit limit{}, saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = first.size() + first.size() / 2;  // room for half a line
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const bool second = record.Append(OneRun(2), error);
  const std::string second_error = error;
  const bool third = record.Append(OneRun(3), error);  // no room at all: nothing written
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &before, nullptr);

  EXPECT_FALSE(second);
  EXPECT_EQ(second_error, "short write (disk full?)");
  EXPECT_FALSE(third);
  EXPECT_EQ(Slurp(path), first);
  ASSERT_TRUE(record.Append(OneRun(4), error)) << error;
  EXPECT_EQ(Slurp(path), first + UnitRecordLine(OneRun(4)));
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

// The report's tally and the station's summary are one rule: they agree on every count, for
// retries in any order, runs without a unit number, unit numbers far apart and far beyond the
// units seen.
TEST(RecordTally, AgreesWithTheStationSummary) {
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
  const RecordSummary listed = SummariseRecords(records);
  RecordTally tally;
  for (const UnitRecord& r : records) tally.Add(r);
  const RecordSummary tallied = tally.Summary();
  EXPECT_EQ(SummaryText(tallied), SummaryText(listed));
  EXPECT_EQ(tallied.units, 9u);
  EXPECT_EQ(tallied.updated, 4u);
  EXPECT_EQ(tallied.retries, 3u);
  EXPECT_EQ(tallied.failed_by_message,
            (std::map<std::string, uint64_t>{{"Check data faile !", 1}, {"second", 1}, {"x", 1}}));
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
