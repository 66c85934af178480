// The command-line side of the package: terminal dialogs, the info report, number parsing and
// the real qvupdate binary building and inspecting packages.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_dialogs.h"
#include "cli/cli_number_parse.h"
#include "cli/cli_package_report.h"
#include "child_process.h"
#include "file_traps.h"
#include "package_fixture.h"

namespace qv::cli {
namespace {

std::string Contents(std::FILE* f) {
  std::rewind(f);
  std::string text;
  int c;
  while ((c = std::fgetc(f)) != EOF) text.push_back(static_cast<char>(c));
  return text;
}

TEST(TerminalDialogsTest, MessagesAreLinesAndPoliciesAnswer) {
  struct Case {
    AnswerPolicy policy;
    bool answer;
    const char* note;
  };
  // The streams are files, not terminals: "ask" is taken as No.
  const Case cases[] = {{AnswerPolicy::kYes, true, "[answered yes]"},
                        {AnswerPolicy::kNo, false, "[answered no]"},
                        {AnswerPolicy::kAsk, false, "[no terminal: answered no]"}};
  const test::TempFolder folder("qv_dialogs");
  for (const auto& c : cases) {
    std::FILE* in = std::fopen((folder.path() / "in.txt").string().c_str(), "w+b");
    std::FILE* out = std::fopen((folder.path() / "out.txt").string().c_str(), "w+b");
    std::fputs("y\n", in);
    std::rewind(in);
    TerminalDialogs dialogs(c.policy, in, out);
    dialogs.ShowMessage("Read file error !");
    dialogs.ShowMessage("two\nlines");
    EXPECT_EQ(dialogs.AskYesNo("Continue ?"), c.answer);
    EXPECT_EQ(Contents(out),
              std::string("Read file error !\ntwo\nlines\nContinue ? ") + c.note + "\n");
    std::fclose(in);
    std::fclose(out);
  }
}

TEST(ReportTextTest, TextFieldsBecomeValidUtf8) {
  struct Case {
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {{"plain", "plain"},
                        {"w\xC3\xB6rld", "w\xC3\xB6rld"},
                        {"\xFF\xFE", "\xEF\xBF\xBD\xEF\xBF\xBD"},
                        {"\xC3", "\xEF\xBF\xBD"},                                   // cut sequence
                        {"\xC0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},                   // overlong
                        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}};  // surrogate
  for (const auto& c : cases) {
    EXPECT_EQ(ToValidUtf8(c.bytes), c.text) << c.bytes;
    EXPECT_NO_THROW((void)nlohmann::json(ToValidUtf8(c.bytes)).dump());
  }
}

TEST(NumberParseTest, AddressesAndVersionTags) {
  EXPECT_EQ(ParseUint32("0x40010000"), 0x40010000u);
  EXPECT_EQ(ParseUint32("0X10"), 16u);
  EXPECT_EQ(ParseUint32("4096"), 4096u);
  EXPECT_EQ(ParseUint32("0xFFFFFFFF"), 0xFFFFFFFFu);
  for (const char* bad : {"", "0x", "0x100000000", "12a", "-1", "0x 1"}) {
    EXPECT_FALSE(ParseUint32(bad)) << bad;
  }
  EXPECT_EQ(ParseVersionTag("0102a0FF"), (std::array<uint8_t, 4>{1, 2, 0xA0, 0xFF}));
  for (const char* bad : {"0102030", "010203040", "0x010203", "0102030g"}) {
    EXPECT_FALSE(ParseVersionTag(bad)) << bad;
  }
}

// Runs qvupdate with the arguments; its output goes to files in the folder.
test::ProgramRun RunQvupdate(std::vector<std::string> arguments, const test::TempFolder& dir) {
  arguments.insert(arguments.begin(), QVUPDATE_PATH);
  return test::RunProgram(arguments, {}, dir.path());
}

TEST(QvupdateBinaryTest, BuildThenInfoReportsTheSameAreas) {
  test::TempFolder dir;
  const auto program = dir.Write("program.bin", test::PatternBytes(5000, 1));
  const auto map = dir.Write("map.bin", test::PatternBytes(700, 2));
  const auto package = dir.path() / "QVUpdate.Bin";
  const test::ProgramRun built =
      RunQvupdate({"build", "-o", package.string(), "--program", program.string(),
                   "--program-address", "0x40010000", "--program-version", "0a0b0c0d", "--map",
                   map.string(), "--map-address", "0x40400000", "--scramble-count", "300",
                   "--text1", "Demo", "--seed", "1"},
                  dir);
  ASSERT_EQ(built.status, 0) << built.err;

  const test::ProgramRun info = RunQvupdate({"info", "--json", package.string()}, dir);
  ASSERT_EQ(info.status, 0) << info.err;
  const auto json = nlohmann::json::parse(info.out);
  EXPECT_EQ(json["check"], "ok");
  EXPECT_EQ(json["data_length"], 128 + 5120 + 1024);
  EXPECT_EQ(json["text1"], "Demo");
  EXPECT_EQ(json["scramble_count"], 300);
  EXPECT_EQ(json["areas"]["program"]["address"], 0x40010000);
  EXPECT_EQ(json["areas"]["program"]["length"], 5120);
  EXPECT_EQ(json["areas"]["program"]["version_tag"], "0a0b0c0d");
  EXPECT_EQ(json["areas"]["sound"]["present"], false);
  EXPECT_EQ(json["areas"]["sound"]["address"], 0x403FFFFF);
  EXPECT_EQ(json["areas"]["map"]["offset"], 128 + 5120);
  EXPECT_EQ(json["version_record"],
            "0a0b0c0d530000000043"
            "00000000");
  EXPECT_EQ(json["area_lengths"], (std::vector<uint32_t>{5120, 0xFFFFFFFF, 1280}));
  EXPECT_EQ(json["map_prefix"].get<std::string>().size(), 512u);

  // One flipped data bit: the package still loads but fails its check byte.
  std::fstream file(package, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(1024 + 128 + 10);
  char byte = 0;
  file.seekg(1024 + 128 + 10);
  file.get(byte);
  file.seekp(1024 + 128 + 10);
  file.put(static_cast<char>(byte ^ 1));
  file.close();
  const test::ProgramRun bad = RunQvupdate({"info", "--json", package.string()}, dir);
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(nlohmann::json::parse(bad.out)["check"], "Check data faile !");
}

// Packages the builder refuses but a damaged file may carry: areas that would share a flash
// sector. `info` reports the refusal the update would meet, with status 1, so that no package
// passes `info` and then resets a device only to be refused.
TEST(QvupdateBinaryTest, InfoReportsTheAreaPlanRefusals) {
  test::TempFolder dir;
  const auto program = dir.Write("program.bin", test::PatternBytes(0x1100, 1));
  const auto sound = dir.Write("sound.bin", test::PatternBytes(0x1000, 2));
  const auto package = dir.path() / "QVUpdate.Bin";
  const test::ProgramRun built =
      RunQvupdate({"build", "-o", package.string(), "--program", program.string(),
                   "--program-address", "0x40010000", "--sound", sound.string(), "--sound-address",
                   "0x40012000", "--seed", "1"},
                  dir);
  ASSERT_EQ(built.status, 0) << built.err;
  ASSERT_EQ(RunQvupdate({"info", "--json", package.string()}, dir).status, 0);

  // Move the sound area one sector down, into the program's last sector: byte 1 of its
  // address (0x20 -> 0x10), descrambled as data byte = file byte XOR (key[p % 1024] >> 1).
  std::fstream file(package, std::ios::in | std::ios::out | std::ios::binary);
  const std::size_t p = kDescriptorOffset + kDescriptorSize * kSoundArea + 8 + 1;
  char key = 0;
  file.seekg(static_cast<std::streamoff>(p % 1024));
  file.get(key);
  file.seekp(static_cast<std::streamoff>(1024 + p));
  file.put(static_cast<char>(0x10 ^ (static_cast<uint8_t>(key) >> 1)));
  file.close();

  const test::ProgramRun info = RunQvupdate({"info", "--json", package.string()}, dir);
  EXPECT_EQ(info.status, 1);
  const auto json = nlohmann::json::parse(info.out);
  EXPECT_EQ(json["areas"]["sound"]["address"], 0x40011000);
  EXPECT_EQ(json["check"], "Areas overlap in FLASH, the update file is damaged !");
  EXPECT_NE(info.err.find("Areas overlap in FLASH, the update file is damaged !"),
            std::string::npos);
}

// A device's answer carries its version behind the mark 'P', where the record holds the program
// tag's first byte: build warns about a tag that starts otherwise, and info says whether the
// version can ever match; the build help says which bytes are compared.
TEST(QvupdateBinaryTest, VersionsThatCanNeverMatchAreCalledOut) {
  test::TempFolder dir;
  const auto program = dir.Write("program.bin", test::PatternBytes(3000, 1));
  struct Case {
    const char* tag;  // empty: the default 00000000
    bool can_match;
    const char* check;
  };
  const Case cases[] = {
      {"50010203", true,
       "Version check:  can match a device's (program tag bytes 2-4, the sound and the map tag "
       "are compared)\n"},
      {"", false,
       "Version check:  can never match a device's: the program tag starts with 00, not 50 "
       "('P'), the mark of a device's answer\n"},
      {"70010203", false,
       "Version check:  can never match a device's: the program tag starts with 70, not 50 "
       "('P'), the mark of a device's answer\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    const auto package = dir.path() / "QVUpdate.Bin";
    std::vector<std::string> arguments = {"build", "-o", package.string(), "--program",
                                          program.string(), "--program-address", "0x40010000",
                                          "--seed", "2"};
    if (*c.tag != '\0') arguments.insert(arguments.end(), {"--program-version", c.tag});
    const test::ProgramRun built = RunQvupdate(arguments, dir);
    ASSERT_EQ(built.status, 0) << built.err;
    if (c.can_match) {
      EXPECT_EQ(built.err, "");
    } else {
      EXPECT_NE(built.err.find("qvupdate build: warning: this package's version can never match "
                               "a device's"),
                std::string::npos)
          << built.err;
    }
    const test::ProgramRun info = RunQvupdate({"info", package.string()}, dir);
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find(c.check), std::string::npos) << info.out;
    const test::ProgramRun json = RunQvupdate({"info", "--json", package.string()}, dir);
    EXPECT_EQ(nlohmann::json::parse(json.out)["version_can_match"], c.can_match);
  }
  const test::ProgramRun help = RunQvupdate({"build", "--help"}, dir);
  const std::string words = [&] {
    std::string joined;
    std::istringstream in(help.out);
    for (std::string word; in >> word;) joined += (joined.empty() ? "" : " ") + word;
    return joined;
  }();
  for (const char* said : {"first byte is the mark 'P' (0x50)",
                           "bytes 2 to 4 of the program tag and all of the sound and map tags count",
                           "give --program-version as 50 and six more hex digits"}) {
    EXPECT_NE(words.find(said), std::string::npos) << said << "\n" << help.out;
  }
}

// The overview names each subcommand in one line; the package layout is explained only by
// the build subcommand's own help.
TEST(QvupdateBinaryTest, HelpListsOneLinePerSubcommand) {
  test::TempFolder dir;
  const test::ProgramRun help = RunQvupdate({"--help"}, dir);
  ASSERT_EQ(help.status, 0) << help.err;
  std::istringstream lines(help.out.substr(help.out.find("Subcommands:\n") + 13));
  std::vector<std::string> listed;
  for (std::string line; std::getline(lines, line) && !line.empty();) listed.push_back(line);
  ASSERT_EQ(listed.size(), 7u) << help.out;
  const char* const names[] = {"info", "build", "devices", "flash", "report", "verify", "help"};
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].rfind(std::string("  ") + names[i] + " ", 0), 0u) << listed[i];
  }
  EXPECT_EQ(help.out.find("Layout:"), std::string::npos);

  const test::ProgramRun build_help = RunQvupdate({"build", "--help"}, dir);
  ASSERT_EQ(build_help.status, 0) << build_help.err;
  EXPECT_NE(build_help.out.find("Layout: a random 1024-byte key block"), std::string::npos)
      << build_help.out;
}

// Every file message says which file it tried and why, once: a missing file, one in a missing
// folder, a folder, a file too short to be a package and the system's own special files.
TEST(QvupdateBinaryTest, FileMessagesNameTheFileAndTheReasonOnce) {
  test::TempFolder dir;
  const std::string open_failed = "Open updata file faile !\n";
  const std::string no_file = "No updata file ,please download again !\n";
  const auto short_file = dir.Write("short.Bin", test::PatternBytes(500, 3));
  const std::string no_such_file = test::SystemReasonText(test::SystemReason::kNoSuchFile);
  const std::string no_such_folder = test::SystemReasonText(test::SystemReason::kNoSuchFolder);
  const std::string null_device = test::CharacterDevice("/dev/null").string();
  struct Case {
    std::string path;
    std::string err;
  };
  const Case cases[] = {
      {(dir.path() / "none.Bin").string(),
       open_failed + (dir.path() / "none.Bin").string() + ": " + no_such_file + "\n" + no_file},
      {(dir.path() / "gone" / "QVUpdate.Bin").string(),
       open_failed + (dir.path() / "gone" / "QVUpdate.Bin").string() + ": " + no_such_folder +
           "\n" + no_file},
      {dir.path().string(),
       open_failed + dir.path().string() + ": It is a directory, not a regular file\n" + no_file},
      {null_device,
       open_failed + null_device + ": It is a character device, not a regular file\n" + no_file},
      {short_file.string(),
       "Read file error !\n" + short_file.string() +
           ": 500 bytes, shorter than the 1024-byte key block every package starts with\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const test::ProgramRun info = RunQvupdate({"info", c.path}, dir);
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.out, "");
    EXPECT_EQ(info.err, c.err);
  }
}

TEST(QvupdateBinaryTest, UnloadablePackagesAndRefusedBuilds) {
  test::TempFolder dir;
  const test::ProgramRun missing = RunQvupdate({"info", (dir.path() / "none.bin").string()}, dir);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "Open updata file faile !\n" + (dir.path() / "none.bin").string() +
                             ": " + test::SystemReasonText(test::SystemReason::kNoSuchFile) +
                             "\nNo updata file ,please download again !\n");

  const auto program = dir.Write("program.bin", test::PatternBytes(100, 1));
  const auto out = dir.path() / "out.bin";
  const test::ProgramRun refused = RunQvupdate({"build", "-o", out.string(), "--program", program.string(),
                                         "--program-address", "0x40000000"},
                                        dir);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("0x40010000 <= program"), std::string::npos) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace qv::cli
