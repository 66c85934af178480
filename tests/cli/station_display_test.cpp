// What a flash session prints: live lines that never wrap, plain lines without repeats, JSON
// lines and nothing else on stdout, messages with their detail on stderr.

#include "cli/station_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace qv::cli {
namespace {

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

struct Streams {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ~Streams() {
    std::fclose(out);
    std::fclose(err);
  }
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
    const int a = display.AddDevice("serial SIM1");
    const int b = display.AddDevice("serial SIM2");
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
    const int a = display.AddDevice("serial SIM1");
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
    const int a = display.AddDevice("A");
    const int b = display.AddDevice("B");
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
    const int a = display.AddDevice("A");
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

}  // namespace
}  // namespace qv::cli
