// qvupdate's help on Windows: "/?" asks for it as --help does, wherever it stands, and the help
// names Windows' own ways of stopping a program and its own documentation, not signals or a
// manual page.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "temp_folder.h"

namespace qv::cli {
namespace {

test::ProgramRun RunQvupdate(const std::vector<std::string>& arguments) {
  const test::TempFolder output("qv_help");
  std::vector<std::string> argv{QVUPDATE_PATH};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return test::RunProgram(argv, {"COLUMNS=10000"}, output.path());
}

TEST(HelpWindowsTest, SlashQuestionMarkShowsTheHelp) {
  struct Case {
    std::vector<std::string> asked;
    std::vector<std::string> same_as;
  };
  const Case cases[] = {
      {{"/?"}, {"--help"}},
      {{"flash", "/?"}, {"flash", "--help"}},
      {{"report", "/?"}, {"report", "--help"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked.front());
    const test::ProgramRun asked = RunQvupdate(c.asked);
    const test::ProgramRun help = RunQvupdate(c.same_as);
    EXPECT_EQ(asked.status, 0) << asked.err;
    EXPECT_EQ(asked.err, "");
    EXPECT_NE(asked.out.find("Usage: qvupdate"), std::string::npos) << asked.out;
    EXPECT_EQ(asked.out, help.out);
  }
}

TEST(HelpWindowsTest, NamesTheWindowsStopsAndDocumentation) {
  const std::string overview = RunQvupdate({"--help"}).out;
  const std::string flash = RunQvupdate({"flash", "--help"}).out;
  for (const char* said : {"Ctrl-C (or Ctrl-Break) stops", "Closing the console window",
                           "counts as two stops"}) {
    EXPECT_NE(flash.find(said), std::string::npos) << said << "\n" << flash;
  }
  EXPECT_NE(overview.find("'Read me first.txt'"), std::string::npos) << overview;
  EXPECT_NE(overview.find("a second Ctrl-C or Ctrl-Break"), std::string::npos) << overview;
  for (const std::string* text : {&overview, &flash}) {
    for (const char* linux_word : {"SIGTERM", "SIGHUP", "SIGQUIT", "Ctrl-\\", "man qvupdate"}) {
      EXPECT_EQ(text->find(linux_word), std::string::npos) << linux_word << "\n" << *text;
    }
  }
}

}  // namespace
}  // namespace qv::cli
