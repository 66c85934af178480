// qvupdate's help: wrapped at the terminal's width without splitting a word, arguments named for
// what they are, relations between options in words, and usage errors that name what was not
// understood.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "cli/cli_help.h"
#include "temp_folder.h"

namespace qv::cli {
namespace {

std::vector<std::string> Words(const std::string& text);

// Runs qvupdate with its output in files, as a script would, without the COLUMNS of this
// process; `environment` (NAME=value) is added. The arguments are words without blanks.
test::ProgramRun RunQvupdate(const std::string& arguments, const std::string& environment = "") {
  const test::TempFolder output("qv_help");
  std::vector<std::string> argv{QVUPDATE_PATH};
  for (const std::string& word : Words(arguments)) argv.push_back(word);
  std::vector<std::string> env;
  if (!environment.empty()) env.push_back(environment);
  return test::RunProgram(argv, env, output.path(), {"COLUMNS="});
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::size_t LongestLine(const std::string& text) {
  std::size_t longest = 0;
  for (const std::string& line : Lines(text)) longest = std::max(longest, line.size());
  return longest;
}

const char* const kCommands[] = {"", "info", "build", "devices", "flash", "report", "verify", "help"};

// Every subcommand's help at every width: no line wider than the terminal, the same words in
// the same order as on an endless line (so no word was cut or lost), no parser internals, and
// `qvupdate help SUBCOMMAND` says the same as `qvupdate SUBCOMMAND --help`.
TEST(HelpTest, EverySubcommandFitsEveryWidthWithWholeWords) {
  for (const char* command : kCommands) {
    const std::string subcommand = command;
    const test::ProgramRun endless = RunQvupdate(subcommand + " --help", "COLUMNS=10000");
    ASSERT_EQ(endless.status, 0) << subcommand << endless.err;
    for (const char* internal : {"UINT", "TEXT", "INT ", "Needs:", "Excludes:", "REQUIRED"}) {
      EXPECT_EQ(endless.out.find(internal), std::string::npos)
          << subcommand << " shows " << internal << ":\n" << endless.out;
    }
    for (const int width : {40, 60, 80, 120}) {
      SCOPED_TRACE(subcommand + " at " + std::to_string(width));
      const std::string columns = "COLUMNS=" + std::to_string(width);
      const test::ProgramRun help = RunQvupdate(subcommand + " --help", columns);
      ASSERT_EQ(help.status, 0) << help.err;
      EXPECT_EQ(help.err, "");
      EXPECT_LE(LongestLine(help.out), static_cast<std::size_t>(width)) << help.out;
      EXPECT_EQ(Words(help.out), Words(endless.out)) << help.out;
      const test::ProgramRun asked = RunQvupdate("help " + subcommand, columns);
      EXPECT_EQ(asked.status, 0);
      EXPECT_EQ(asked.out, help.out);
    }
  }
}

// Arguments carry the names of what they are, and what the parser enforces is said in words.
TEST(HelpTest, ArgumentsAreNamedAndRelationsSaidInWords) {
  const test::ProgramRun flash = RunQvupdate("flash --help", "COLUMNS=200");
  for (const char* shown : {"Usage: qvupdate flash [OPTIONS] [FILE]", "  FILE ", "--count N ",
                            "Stop after N units (N at least 1). Only with --continuous.",
                            "--device DEVICE ", "across the reset. Not with --all.",
                            "--record FILE ", "--trace FILE "}) {
    EXPECT_NE(flash.out.find(shown), std::string::npos) << shown << "\n" << flash.out;
  }
  const test::ProgramRun build = RunQvupdate("build --help", "COLUMNS=200");
  for (const char* shown : {"-o, --output FILE ", "regular file. Required.", "--program FILE ",
                            "--program-address ADDRESS ", "--program-version TAG ",
                            "--scramble-count N ", "--seed N "}) {
    EXPECT_NE(build.out.find(shown), std::string::npos) << shown << "\n" << build.out;
  }
}

// Without COLUMNS and a terminal (here a file), or with a COLUMNS that is no width, the help is
// 80 columns wide. The terminal's own width is tried in help_posix_test.cpp.
TEST(HelpTest, WidthComesFromColumnsElseEighty) {
  const test::ProgramRun eighty = RunQvupdate("flash --help", "COLUMNS=80");
  EXPECT_EQ(RunQvupdate("flash --help").out, eighty.out);
  EXPECT_EQ(RunQvupdate("flash --help", "COLUMNS=wide").out, eighty.out);
  EXPECT_EQ(RunQvupdate("flash --help", "COLUMNS=0").out, eighty.out);
}

// A usage error names what was not understood and points to the help; status 1, nothing on
// standard output.
TEST(HelpTest, UsageErrorsNameWhatWasNotUnderstood) {
  struct Case {
    const char* arguments;
    const char* err;
  };
  const Case cases[] = {
      {"bogus", "qvupdate: unknown subcommand 'bogus'\nRun 'qvupdate --help' for its subcommands.\n"},
      {"-V", "qvupdate: unknown option '-V'\nRun 'qvupdate --help' for its subcommands.\n"},
      {"", "qvupdate: a subcommand is needed\nRun 'qvupdate --help' for its subcommands.\n"},
      {"flash --bogus",
       "qvupdate flash: unknown option '--bogus'\nRun 'qvupdate flash --help' for its options.\n"},
      {"info a.Bin b.Bin",
       "qvupdate info: unexpected argument 'b.Bin'\nRun 'qvupdate info --help' for its "
       "options.\n"},
      {"flash --count",
       "qvupdate flash: --count needs a value: N\nRun 'qvupdate flash --help' for its options.\n"},
      {"flash --device x --all",
       "qvupdate flash: --all cannot be used with --device\nRun 'qvupdate flash --help' for its "
       "options.\n"},
      {"help nope",
       "qvupdate help: unknown subcommand 'nope'\nRun 'qvupdate --help' for its subcommands.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const test::ProgramRun run = RunQvupdate(c.arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(WrapTextTest, BreaksAtSpacesOnly) {
  struct Case {
    const char* text;
    int width;
    int indent;
    int hang;
    const char* wrapped;
  };
  const Case cases[] = {
      {"one two three", 9, 0, 0, "one two\nthree\n"},
      {"one two three", 7, 2, 2, "  one\n    two\n    three\n"},
      {"a longerthanthewidth word", 8, 0, 0, "a\nlongerthanthewidth\nword\n"},
      {"first\nsecond  line", 80, 1, 0, " first\n second line\n"},
      {"para\n\nnext", 80, 0, 0, "para\n\nnext\n"},
      {"exactly ten", 11, 0, 0, "exactly ten\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WrapText(c.text, c.width, c.indent, c.hang), c.wrapped) << c.text << " @" << c.width;
  }
}

// The manual page's section says what the help says, in roff: options in bold, hyphens escaped.
TEST(HelpRoffTest, EntriesBecomeTaggedParagraphs) {
  HelpPage page;
  page.usage = "qvupdate report [OPTIONS] FILE";
  page.description = "Sum up a record";
  page.arguments = {{"FILE", "The record file"}};
  page.options = {{"--csv", "Print every run as CSV"}};
  page.footer = "First paragraph.\n.Second, with a dot.";
  EXPECT_EQ(HelpRoff(page),
            ".SS \"qvupdate report [OPTIONS] FILE\"\n"
            ".PP\nSum up a record\n"
            ".TP\n\\fBFILE\\fR\nThe record file\n"
            ".TP\n\\fB\\-\\-csv\\fR\nPrint every run as CSV\n"
            ".PP\nFirst paragraph.\n"
            ".PP\n\\&.Second, with a dot.\n");
}

}  // namespace
}  // namespace qv::cli
