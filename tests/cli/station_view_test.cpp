// What a flash session prints: live lines that never wrap, plain lines without repeats, JSON
// lines and nothing else on stdout, messages with their detail on stderr.

#include "cli/station_view.h"

#include "cli/live_station_view.h"
#include "station/station_json_events.h"

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
#include <future>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
  [[nodiscard]] int read_end() const {
    return fds[0];
  }

  int fds[2] = {-1, -1};
  bool ok = false;
};

TEST(StationView, FitNeverReachesTheLastColumnNorSplitsACharacter) {
  EXPECT_EQ(LiveStationView::Fit("abcdef", 4), "abc");
  EXPECT_EQ(LiveStationView::Fit("abc", 80), "abc");
  EXPECT_EQ(LiveStationView::Fit("\xc3\xa9\xc3\xa9\xc3\xa9", 3), "\xc3\xa9\xc3\xa9");
  EXPECT_EQ(LiveStationView::Fit("abc", 0), "a");
}

TEST(StationView, PlainLinesCarryTheDeviceAndNeverRepeat) {
  Streams s;
  {
    const std::unique_ptr<StationView> view =
        StationView::Make(DisplayMode::kPlain, false, false, true, s.out, s.err);
    StationView& display = *view;
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

TEST(StationView, JsonModePrintsOnlyEventsOnStdout) {
  Streams s;
  {
    const std::unique_ptr<StationView> view =
        StationView::Make(DisplayMode::kJson, false, false, true, s.out, s.err);
    StationView& display = *view;
    const int a = 0;
    display.SlotAdded(a, "serial SIM1");
    display.Status(a, "To updata ,please wait...");
    display.Percent(a, 30);
    display.Area(a, "map");
    display.FlashText(a, "Flash:F10");
    display.Line("If you need to continue, please connect the USB cable to the new machine !");
    display.ResultLine("Updated: 1");
    display.Message("Check data faile !", "");
  }
  std::istringstream lines(Contents(s.out));
  std::vector<std::string> events;
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json event = nlohmann::json::parse(line);
    events.push_back(event.at("event").get<std::string>());
    EXPECT_EQ(event.at("device"), "serial SIM1");
    EXPECT_EQ(event.at("schema"),
              station::json_events::kEventSchema);  // every line says its format's version
  }
  EXPECT_EQ(events, (std::vector<std::string>{"status", "percent", "area", "flash"}));
  EXPECT_EQ(Contents(s.err), "Check data faile !\n");
}

// On a terminal the device lines are redrawn in place: the cursor goes back up over the block
// and each line is cleared to its end; a message clears the block, then it is drawn again.
TEST(StationView, LiveLinesAreRedrawnInPlace) {
  Streams s;
  {
    const std::unique_ptr<StationView> view =
        StationView::Make(DisplayMode::kLive, false, false, true, s.out, s.err);
    StationView& display = *view;
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
TEST(StationView, SettledLinesStayAboveTheSummary) {
  Streams s;
  {
    const std::unique_ptr<StationView> view =
        StationView::Make(DisplayMode::kLive, false, false, true, s.out, s.err);
    StationView& display = *view;
    const int a = 0;
    display.SlotAdded(a, "A");
    display.Status(a, "Updata success !");
    display.Settle();
    display.ResultLine("Updated: 1");
  }
  const std::string out = Contents(s.out);
  const std::size_t row = out.rfind("A: ");
  const std::size_t summary = out.find("Updated: 1\n");
  ASSERT_NE(row, std::string::npos) << out;
  ASSERT_NE(summary, std::string::npos) << out;
  EXPECT_LT(row, summary) << out;
  EXPECT_EQ(out.find('\x1b', summary), std::string::npos) << out;
}

// While a question waits for its answer nothing is held: another device's progress, status and
// messages return at once. The live lines are not drawn under the prompt meanwhile (their state
// is kept), a message writes the prompt again below it, and the end of the prompt draws them.
TEST(StationView, APromptHoldsNoOtherDeviceUp) {
  Streams s;
  const std::unique_ptr<StationView> view =
      StationView::Make(DisplayMode::kLive, false, false, true, s.out, s.err);
  StationView& display = *view;
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

// The station's summary is the report's text of the same runs, in every view that prints
// lines; JSON mode gives it as an event instead.
TEST(StationView, TheSummaryIsTheReportsText) {
  station::RecordSummary summary;
  summary.units = 2;
  summary.updated = 1;
  summary.failed_by_message["Check data faile !"] = 1;
  summary.not_updated = {
      {"s", 2, station::UnitResult::kFailed, "Check data faile !", "port 1-2", "map"}};
  for (const DisplayMode mode : {DisplayMode::kPlain, DisplayMode::kLive, DisplayMode::kJson}) {
    Streams s;
    {
      const std::unique_ptr<StationView> view =
          StationView::Make(mode, false, false, true, s.out, s.err);
      view->Summary(summary, false);
    }
    const std::string out = Contents(s.out);
    if (mode == DisplayMode::kJson) {
      const nlohmann::json event = nlohmann::json::parse(out);
      EXPECT_EQ(event.at("event"), "summary");
      EXPECT_EQ(event.at("failed"), 1);
    } else {
      EXPECT_EQ(out, station::SummaryText(summary));
    }
  }
}

// A device's live line at the widths a terminal may have: the bar shrinks before the status
// text does, then the status gives way to the remaining time, then the label to the port; the
// line never reaches the last column, and the remaining time stays whole.
TEST(StationView, LiveLinesFitNarrowTerminals) {
  station::SlotRow row;
  row.label = "port 1-2.3, serial SIM1";
  row.name = "port 1-2.3";
  row.percent = 45;
  row.remaining_ms = 63'000;
  row.status = "Update:45% complete,abount 1 minute 3 second need...";
  row.status_shows_time = true;
  const bool labelled = true;
  const bool single = false;
  struct Case {
    bool labelled;
    int columns;
    const char* line;
  };
  const Case cases[] = {
      {single, 120,
       "[#########...........]  45%  Update:45% complete,abount 1 minute 3 second need..."},
      {single, 80,
       "[########..........]  45%  Update:45% complete,abount 1 minute 3 second need..."},
      {single, 70, "[###.....]  45%  Update:45% complete,abount 1 minute 3 second need..."},
      {single, 60, " 45%  Update:45% complete,abount 1 minute 3 second need..."},
      {single, 40, "[#######.........]  45%  1 min 3 s left"},
      {labelled, 120,
       "port 1-2.3, serial SIM1: [#########...........]  45%  Update:45% complete,abount 1 "
       "minute 3 second need..."},
      {labelled, 80, "port 1-2.3, serial SIM1: [#########...........]  45%  1 min 3 s left"},
      {labelled, 60, "port 1-2.3, serial SIM1: [####.......]  45%  1 min 3 s left"},
      {labelled, 40, "port 1-2.3:  45%  1 min 3 s left"},
      {labelled, 30, "port 1-2.3:  45%  1 min 3 s l"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.columns);
    const std::string line = LiveStationView::RowText(row, c.columns, c.labelled);
    EXPECT_EQ(line, c.line);
    EXPECT_LT(static_cast<int>(line.size()), c.columns);
  }
}

// A unit that ends leaves a permanent line above the live lines: unit, device, result,
// duration, and for a failure its message and area.
TEST(StationView, EachUnitLeavesALineAboveTheLiveLines) {
  station::UnitEnd failed;
  failed.unit = 2;
  failed.attempt = 2;
  failed.result = station::UnitResult::kFailed;
  failed.message = "Write data faile, please connect usb cable to device !";
  failed.area = "program";
  failed.duration_ms = 8'100;
  EXPECT_EQ(station::UnitLine(failed, "port 1-2"),
            "Unit 2 (attempt 2)  port 1-2  failed  8.1 s  Write data faile, please connect usb "
            "cable to device ! (program area)");
  Streams s;
  {
    const std::unique_ptr<StationView> view =
        StationView::Make(DisplayMode::kLive, false, false, false, s.out, s.err);
    StationView& display = *view;
    display.KeepUnitLines(true);
    display.SlotAdded(0, "sim0");
    HidInterfaceInfo device;
    device.path = "sim0";
    device.serial_number = "SIM1";
    display.UnitStarted({0, "sim0", device, 1, 1});
    display.Percent(0, 100);
    display.Status(0, "Updata success !");
    display.UnitFinished(
        {0, "sim0", 1, 1, station::UnitResult::kUpdated, "Updata success !", "", 12'300, {}});
  }
  const std::string out = Contents(s.out);
  const std::size_t line = out.find(
      "\x1b[J"
      "Unit 1  serial SIM1  updated  12.3 s\n");
  ASSERT_NE(line, std::string::npos) << out;
  // Drawn again below the unit's line, with the footer's counts under the devices.
  const std::size_t row = out.find("Updata success !", line);
  EXPECT_NE(row, std::string::npos) << out;
  EXPECT_NE(out.find("\rUnits: 1  updated 1  failed 0  declined 0  interrupted 0\x1b[K\n", row),
            std::string::npos)
      << out;
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
  const std::unique_ptr<StationView> view =
      StationView::Make(DisplayMode::kPlain, false, false, true, s.out, s.err);
  StationView& display = *view;
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
  EXPECT_NE(Contents(s.err).find("serial SIM1: Continue ?"), std::string::npos) << Contents(s.err);
  EXPECT_NE(Contents(s.err).find(c.note), std::string::npos) << Contents(s.err);
}

// Questions answered by the policy at once, with a note, and without a terminal as No.
TEST(TerminalQuestions, AnswersByPolicy) {
  const QuestionCase cases[] = {
      {"--reinstall yes", AnswerPolicy::kYes, true, nullptr, false, {true}, " [answered yes]"},
      {"--reinstall no", AnswerPolicy::kNo, true, nullptr, false, {false}, " [answered no]"},
      {"no terminal",
       AnswerPolicy::kAsk,
       false,
       nullptr,
       false,
       {false},
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
      {"typed yes after a wrong key",
       AnswerPolicy::kAsk,
       true,
       "x\nYes\n",
       false,
       {true},
       "[y/n] "},
      {"end of input", AnswerPolicy::kAsk, true, "", false, {false}, "[no input: answered no]"},
      {"answered No by a stop",
       AnswerPolicy::kAsk,
       true,
       nullptr,
       true,
       {},
       "[stopping: answered no]"},
  };
  for (const QuestionCase& c : cases) ExpectQuestionAnswered(c);
}

}  // namespace
}  // namespace qv::cli
