// qvupdate's help on a terminal: without COLUMNS it takes the terminal's width. A pseudo-terminal
// of a chosen width exists on POSIX only; a Windows console's width cannot be set from a test.
// And the help on Linux speaks of signals and the manual page.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "child_process.h"
#include "temp_folder.h"

namespace qv::cli {
namespace {

TEST(HelpTest, WidthComesFromTheTerminalWithoutColumns) {
  struct winsize size {};
  size.ws_col = 52;
  size.ws_row = 24;
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, &size);
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::unsetenv("COLUMNS");
    ::execl(QVUPDATE_PATH, QVUPDATE_PATH, "flash", "--help", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string shown;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(terminal, buffer, sizeof buffer)) > 0) {
    shown.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(terminal);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
  // The terminal turns each line end into CR LF.
  std::string text;
  for (char c : shown) {
    if (c != '\r') text += c;
  }
  const test::TempFolder output("qv_help");
  EXPECT_EQ(text,
            test::RunProgram({QVUPDATE_PATH, "flash", "--help"}, {"COLUMNS=52"}, output.path()).out);
}

// The help names the signals that stop a station and the manual page, and none of Windows'
// console words.
TEST(HelpTest, NamesTheSignalsAndTheManualPage) {
  const test::TempFolder output("qv_help");
  const std::string overview =
      test::RunProgram({QVUPDATE_PATH, "--help"}, {"COLUMNS=10000"}, output.path()).out;
  const std::string flash =
      test::RunProgram({QVUPDATE_PATH, "flash", "--help"}, {"COLUMNS=10000"}, output.path()).out;
  for (const char* said : {"Ctrl-C (or SIGTERM, or SIGHUP when the terminal closes) stops",
                           "SIGQUIT (Ctrl-\\) counts as two stops"}) {
    EXPECT_NE(flash.find(said), std::string::npos) << said << "\n" << flash;
  }
  EXPECT_NE(overview.find("'man qvupdate' has them all"), std::string::npos) << overview;
  EXPECT_NE(overview.find("a second Ctrl-C or SIGTERM"), std::string::npos) << overview;
  for (const std::string* text : {&overview, &flash}) {
    for (const char* windows_word : {"Ctrl-Break", "console window", "Windows", "Read me first"}) {
      EXPECT_EQ(text->find(windows_word), std::string::npos) << windows_word << "\n" << *text;
    }
  }
}

}  // namespace
}  // namespace qv::cli
