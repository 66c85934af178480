// What a flash session prints: live lines that never wrap, plain lines without repeats, JSON
// lines and nothing else on stdout, messages with their detail on stderr.

#include "cli/station_display.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <future>
#include <thread>
#include <vector>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli/terminal_questions.h"
#include "system_skips.h"
#include "temp_folder.h"

namespace qv::cli {
namespace {

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

// A file in append mode: what another thread writes lands at its end, however a reader has
// moved the position. Binary, so that the bytes read back are the bytes the display wrote.
std::FILE* AppendingFile(const std::filesystem::path& path) {
  return std::fopen(path.string().c_str(), "a+b");
}

struct Streams {
  test::TempFolder folder{"qv_display"};
  std::FILE* out = AppendingFile(folder.path() / "out.txt");
  std::FILE* err = AppendingFile(folder.path() / "err.txt");
  ~Streams() {
    std::fclose(out);
    std::fclose(err);
  }
};

// A pipe that stands in for the terminal's input.
struct InputPipe {
  InputPipe() {
#ifdef _WIN32
    ok = ::_pipe(fds, 4096, _O_BINARY) == 0;
#else
    ok = ::pipe(fds) == 0;
#endif
  }
  ~InputPipe() {
    ::close(fds[0]);
    CloseWriteEnd();
  }
  bool Write(const std::string& text) const {
    return ::write(fds[1], text.data(), static_cast<unsigned>(text.size())) ==
           static_cast<int>(text.size());
  }
  void CloseWriteEnd() {
    if (fds[1] >= 0) ::close(fds[1]);
    fds[1] = -1;
  }
  [[nodiscard]] int read_end() const { return fds[0]; }

  int fds[2] = {-1, -1};
  bool ok = false;
};

TEST(StationDisplay, FitNeverReachesTheLastColumnNorSplitsACharacter) {
  EXPECT_EQ(StationDisplay::Fit("abcdef", 4), "abc");
  EXPECT_EQ(StationDisplay::Fit("abc", 80), "abc");
  EXPECT_EQ(StationDisplay::Fit("\xc3\xa9\xc3\xa9\xc3\xa9", 3), "\xc3\xa9\xc3\xa9");
  EXPECT_EQ(StationDisplay::Fit("abc", 0), "a");
}

TEST(StationDisplay, PlainLinesCarryTheDeviceAndNeverRepeat) {
  Streams s;
  {
    StationDisplay display(DisplayMode::kPlain, false, false, true, s.out, s.err);
    const int a = 0;
    display.SlotAdded(a, "serial SIM1");
    const int b = 1;
    display.SlotAdded(b, "serial SIM2");
    display.Status(a, "Erase old data ,please wait ...");
    display.Status(a, "Erase old data ,please wait ...");
    display.Status(b, "Erase old data ,please wait ...");
    for (uint32_t p : {5u, 10u, 12u, 19u, 20u}) display.Percent(a, p);
    display.Message("Updata faile ,please connect usb cable to device !",
                    "device serial SIM2, while writing the program area");
  }
  EXPECT_EQ(Contents(s.out),
            "serial SIM1: Erase old data ,please wait ...\n"
            "serial SIM2: Erase old data ,please wait ...\n"
            "serial SIM1: Progress: 10%\n"
            "serial SIM1: Progress: 20%\n");
  EXPECT_EQ(Contents(s.err),
            "Updata faile ,please connect usb cable to device !\n"
            "  device serial SIM2, while writing the program area\n");
}

TEST(StationDisplay, JsonModePrintsOnlyEventsOnStdout) {
  Streams s;
  {
    StationDisplay display(DisplayMode::kJson, false, false, true, s.out, s.err);
    const int a = 0;
    display.SlotAdded(a, "serial SIM1");
    display.Status(a, "To updata ,please wait...");
    display.Percent(a, 30);
    display.Area(a, "map");
    display.FlashText(a, "Flash:F10");
    display.Line("If you need to continue, please connect the USB cable to the new machine !");
    display.ResultLine("Devices updated: 1");
    display.Message("Check data faile !", "");
  }
  std::istringstream lines(Contents(s.out));
  std::vector<std::string> events;
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json event = nlohmann::json::parse(line);
    events.push_back(event.at("event").get<std::string>());
    EXPECT_EQ(event.at("device"), "serial SIM1");
    EXPECT_EQ(event.at("schema"), kEventSchema);  // every line says its format's version
  }
  EXPECT_EQ(events, (std::vector<std::string>{"status", "percent", "area", "flash"}));
  EXPECT_EQ(Contents(s.err), "Check data faile !\n");
}

// On a terminal the device lines are redrawn in place: the cursor goes back up over the block
// and each line is cleared to its end; a message clears the block, then it is drawn again.
TEST(StationDisplay, LiveLinesAreRedrawnInPlace) {
  Streams s;
  {
    StationDisplay display(DisplayMode::kLive, false, false, true, s.out, s.err);
    const int a = 0;
    display.SlotAdded(a, "A");
    const int b = 1;
    display.SlotAdded(b, "B");
    display.Percent(a, 50);
    display.Percent(b, 10);
    display.Message("x", "");
  }
  const std::string out = Contents(s.out);
  EXPECT_NE(out.find("\x1b[2A\rA: [##########..........]  50%  \x1b[K\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("\rB: [##..................]  10%  \x1b[K\n"), std::string::npos);
  EXPECT_NE(out.find("\x1b[2A\r\x1b[J"), std::string::npos);  // cleared for the message
  for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    EXPECT_LE(end - at, 80u + 16u);  // 79 columns of text plus the control sequences
  }
}

// At the end of a session the device lines stay where they are and the summary comes below
// them: nothing is erased or drawn again after Settle.
TEST(StationDisplay, SettledLinesStayAboveTheSummary) {
  Streams s;
  {
    StationDisplay display(DisplayMode::kLive, false, false, true, s.out, s.err);
    const int a = 0;
    display.SlotAdded(a, "A");
    display.Status(a, "Updata success !");
    display.Settle();
    display.ResultLine("Devices updated: 1");
  }
  const std::string out = Contents(s.out);
  const std::size_t row = out.rfind("A: ");
  const std::size_t summary = out.find("Devices updated: 1\n");
  ASSERT_NE(row, std::string::npos) << out;
  ASSERT_NE(summary, std::string::npos) << out;
  EXPECT_LT(row, summary) << out;
  EXPECT_EQ(out.find('\x1b', summary), std::string::npos) << out;
}

// While a question waits for its answer nothing is held: another device's progress, status and
// messages return at once. The live lines are not drawn under the prompt meanwhile (their state
// is kept), a message writes the prompt again below it, and the end of the prompt draws them.
TEST(StationDisplay, APromptHoldsNoOtherDeviceUp) {
  Streams s;
  StationDisplay display(DisplayMode::kLive, false, false, true, s.out, s.err);
  display.SlotAdded(0, "A");
  display.SlotAdded(1, "B");
  display.Percent(0, 10);
  display.BeginPrompt("A: It's the latest version, Do you continue to updata ? [y/n] ");
  const std::string before = Contents(s.out);
  auto other = std::async(std::launch::async, [&display] {
    display.Percent(1, 40);
    display.Status(1, "Erase old data ,please wait ...");
    display.Message("Check data faile !", "device B");
  });
  ASSERT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(Contents(s.out), before);  // nothing drawn under the prompt
  display.EndPrompt("");
  const std::string out = Contents(s.out);
  EXPECT_NE(out.find("B: [########............]  40%  Erase old data ,please wait ..."),
            std::string::npos)
      << out;
  EXPECT_EQ(Contents(s.err),
            "A: It's the latest version, Do you continue to updata ? [y/n] \n"
            "Check data faile !\n  device B\n"
            "A: It's the latest version, Do you continue to updata ? [y/n] ");
}

// The station's summary counts as the report does (declined and interrupted units are not
// failed ones), gives the failures by message and the updated units per hour, and lists only
// the units that did not end updated; -v lists every unit.
TEST(StationDisplay, SummaryCountsAndListsTheUnitsNotUpdated) {
  station::RecordSummary summary;
  summary.units = 4;
  summary.updated = 1;
  summary.declined = 1;
  summary.interrupted = 1;
  summary.failed_by_message["Check data faile !"] = 1;
  summary.retries = 1;
  summary.units_per_hour = 480.0;
  summary.updated_per_hour = 120.0;
  const auto unit = [](uint64_t n, station::UnitResult r, uint32_t runs, const char* message) {
    station::UnitSummary u;
    u.unit = n;
    u.result = r;
    u.runs = runs;
    u.duration_ms = 1500;
    u.message = message;
    u.device_port = "1-" + std::to_string(n);
    return u;
  };
  summary.by_unit = {unit(1, station::UnitResult::kUpdated, 2, "Updata success !"),
                     unit(2, station::UnitResult::kDeclined, 1, ""),
                     unit(3, station::UnitResult::kInterrupted, 1,
                          "The update was stopped at the user's request."),
                     unit(4, station::UnitResult::kFailed, 1, "Check data faile !")};
  const std::string counts =
      "Units: 4\nDevices updated: 1\nDevices failed: 1\n  1  Check data faile !\n"
      "Devices declined: 1\nDevices interrupted: 1\nRetries: 1\n"
      "Updated units per hour: 120.0\n";
  const std::string not_updated =
      "Device 2: declined, 1.5 s (port 1-2)\n"
      "Device 3: interrupted, 1.5 s (port 1-3): The update was stopped at the user's request.\n"
      "Device 4: failed, 1.5 s (port 1-4): Check data faile !\n";
  for (const bool verbose : {false, true}) {
    Streams s;
    {
      StationDisplay display(DisplayMode::kPlain, false, verbose, true, s.out, s.err);
      display.Summary(summary, false);
    }
    EXPECT_EQ(Contents(s.out),
              counts + (verbose ? "Device 1: updated, 1.5 s (port 1-1), 1 retry\n" : "") +
                  not_updated)
        << "verbose " << verbose;
  }
}

// A device's live line at the widths a terminal may have: the bar shrinks before the status
// text does, then the status gives way to the remaining time, then the label to the port; the
// line never reaches the last column, and the remaining time stays whole.
TEST(StationDisplay, LiveLinesFitNarrowTerminals) {
  StationDisplay labelled(DisplayMode::kLive, false, false, true);
  StationDisplay single(DisplayMode::kLive, false, false, false);
  StationDisplay::Row row;
  row.label = "port 1-2.3, serial SIM1";
  row.name = "port 1-2.3";
  row.percent = 45;
  row.remaining_ms = 63'000;
  row.status = "Update:45% complete,abount 1 minute 3 second need...";
  row.status_shows_time = true;
  struct Case {
    const StationDisplay* display;
    int columns;
    const char* line;
  };
  const Case cases[] = {
      {&single, 120,
       "[#########...........]  45%  Update:45% complete,abount 1 minute 3 second need..."},
      {&single, 80,
       "[########..........]  45%  Update:45% complete,abount 1 minute 3 second need..."},
      {&single, 70, "[###.....]  45%  Update:45% complete,abount 1 minute 3 second need..."},
      {&single, 60, " 45%  Update:45% complete,abount 1 minute 3 second need..."},
      {&single, 40, "[#######.........]  45%  1 min 3 s left"},
      {&labelled, 120,
       "port 1-2.3, serial SIM1: [#########...........]  45%  Update:45% complete,abount 1 "
       "minute 3 second need..."},
      {&labelled, 80, "port 1-2.3, serial SIM1: [#########...........]  45%  1 min 3 s left"},
      {&labelled, 60, "port 1-2.3, serial SIM1: [####.......]  45%  1 min 3 s left"},
      {&labelled, 40, "port 1-2.3:  45%  1 min 3 s left"},
      {&labelled, 30, "port 1-2.3:  45%  1 min 3 s l"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.columns);
    const std::string line = c.display->RowText(row, c.columns);
    EXPECT_EQ(line, c.line);
    EXPECT_LT(static_cast<int>(line.size()), c.columns);
  }
}

// A unit that ends leaves a permanent line above the live lines: unit, device, result,
// duration, and for a failure its message and area.
TEST(StationDisplay, EachUnitLeavesALineAboveTheLiveLines) {
  station::UnitEnd failed;
  failed.unit = 2;
  failed.attempt = 2;
  failed.result = station::UnitResult::kFailed;
  failed.message = "Write data faile, please connect usb cable to device !";
  failed.area = "program";
  failed.duration_ms = 8'100;
  EXPECT_EQ(StationDisplay::UnitLine(failed, "port 1-2"),
            "Unit 2 (attempt 2)  port 1-2  failed  8.1 s  Write data faile, please connect usb "
            "cable to device ! (program area)");
  Streams s;
  {
    StationDisplay display(DisplayMode::kLive, false, false, false, s.out, s.err);
    display.KeepUnitLines(true);
    display.SlotAdded(0, "sim0");
    HidInterfaceInfo device;
    device.path = "sim0";
    device.serial_number = "SIM1";
    display.UnitStarted({0, "sim0", device, 1, 1});
    display.Percent(0, 100);
    display.Status(0, "Updata success !");
    display.UnitFinished({0, "sim0", 1, 1, station::UnitResult::kUpdated, "Updata success !", "",
                          12'300, {}});
  }
  const std::string out = Contents(s.out);
  const std::size_t line = out.find("\x1b[J" "Unit 1  serial SIM1  updated  12.3 s\n");
  ASSERT_NE(line, std::string::npos) << out;
  // Drawn again below the unit's line.
  EXPECT_NE(out.find("Updata success !", line), std::string::npos) << out;
}

struct QuestionCase {
  const char* name;
  AnswerPolicy policy;
  bool terminal;
  const char* typed;  // nullptr: nothing typed
  bool closed;        // the station answers No before anything is typed
  std::vector<bool> answers;
  const char* note;
};

// Asks one question through TerminalQuestions with the input given by a pipe, and checks the
// answers the station got and the note left on stderr.
void ExpectQuestionAnswered(const QuestionCase& c) {
  SCOPED_TRACE(c.name);
  Streams s;
  InputPipe input;
  ASSERT_TRUE(input.ok);
  StationDisplay display(DisplayMode::kPlain, false, false, true, s.out, s.err);
  std::vector<bool> answers;
  std::mutex mutex;
  std::atomic<bool> open{true};
  {
    TerminalQuestions questions(
        c.policy, display,
        [&](uint64_t, bool yes) {
          std::lock_guard lock(mutex);
          answers.push_back(yes);
          open = false;
          return true;
        },
        [&](uint64_t) { return open.load(); }, input.read_end(), c.terminal);
    questions.Take(station::StationQuestion{7, 0, "serial SIM1", "Continue ?"});
    if (c.typed != nullptr) {
      ASSERT_TRUE(input.Write(c.typed));
      if (std::strlen(c.typed) == 0) input.CloseWriteEnd();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    if (c.closed) {
      // Closed once the prompt is up and waiting for a key.
      while (std::chrono::steady_clock::now() < deadline &&
             Contents(s.err).find("[y/n] ") == std::string::npos) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      open = false;
    }
    while (std::chrono::steady_clock::now() < deadline &&
           Contents(s.err).find(c.note) == std::string::npos) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!c.answers.empty()) {
      while (std::chrono::steady_clock::now() < deadline && open.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  }
  EXPECT_EQ(answers, c.answers);
  EXPECT_NE(Contents(s.err).find("serial SIM1: Continue ?"), std::string::npos)
      << Contents(s.err);
  EXPECT_NE(Contents(s.err).find(c.note), std::string::npos) << Contents(s.err);
}

// Questions answered by the policy at once, with a note, and without a terminal as No.
TEST(TerminalQuestions, AnswersByPolicy) {
  const QuestionCase cases[] = {
      {"--reinstall yes", AnswerPolicy::kYes, true, nullptr, false, {true}, " [answered yes]"},
      {"--reinstall no", AnswerPolicy::kNo, true, nullptr, false, {false}, " [answered no]"},
      {"no terminal", AnswerPolicy::kAsk, false, nullptr, false, {false},
       " [no terminal: answered no]"},
  };
  for (const QuestionCase& c : cases) ExpectQuestionAnswered(c);
}

// Questions asked at the terminal, read in slices, and given up when the station has meanwhile
// answered them No (a stop).
TEST(TerminalQuestions, AsksAtTheTerminal) {
  QV_SKIP_ON_WINDOWS(
      "a Windows console's keys come from the console alone; a pipe standing in for it reads "
      "as the end of input, and a test cannot type into a console");
  const QuestionCase cases[] = {
      {"typed yes after a wrong key", AnswerPolicy::kAsk, true, "x\nYes\n", false, {true},
       "[y/n] "},
      {"end of input", AnswerPolicy::kAsk, true, "", false, {false}, "[no input: answered no]"},
      {"answered No by a stop", AnswerPolicy::kAsk, true, nullptr, true, {},
       "[stopping: answered no]"},
  };
  for (const QuestionCase& c : cases) ExpectQuestionAnswered(c);
}

}  // namespace
}  // namespace qv::cli
