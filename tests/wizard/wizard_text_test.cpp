// The wizard's text and path rules on every system: how the package's information text reaches
// the text box, what the command line asks for, where the package is read from, and the help.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/utf8_path.h"
#include "wizard/readme_text.h"
#include "wizard/wizard_command_line.h"

namespace qv {
namespace {

struct TextCase {
  const char* name;
  std::string bytes;
  std::string shown;
};

TEST(InformationText, KeepsUtf8AndEndsEveryLineTheSameWay) {
  const std::vector<TextCase> cases = {
      {"empty", "", ""},
      {"UTF-8", "caf\xC3\xA9 \xE7\x89\x88\xE6\x9C\xAC", "caf\xC3\xA9 \xE7\x89\x88\xE6\x9C\xAC"},
      {"line ends", "a\nb\r\nc\rd\r", "a\nb\nc\nd\n"},
      {"blank lines kept", "\r\n\r\n\r\nA\r\n", "\n\n\nA\n"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(InformationTextForDisplay(c.bytes), c.shown) << c.name;
  }
}

TEST(WizardCommandLine, ReadsOnePathOrAnOption) {
  using Action = WizardCommandLine::Action;
  struct Case {
    std::vector<std::string> arguments;
    Action action;
    const char* path;  // null: none
    bool choose;
  };
  const std::string chinese = "D:/packages/\xE4\xB8\xAD.Bin";
  const std::vector<Case> cases = {
      {{}, Action::kRun, nullptr, false},
      {{chinese}, Action::kRun, chinese.c_str(), false},
      {{"downloads"}, Action::kRun, "downloads", false},
      {{"--", "-x.Bin"}, Action::kRun, "-x.Bin", false},
      {{"-"}, Action::kRun, "-", false},
      {{"--help"}, Action::kHelp, nullptr, false},
      {{"QVUpdate.Bin", "--help"}, Action::kHelp, nullptr, false},
      {{"-h"}, Action::kHelp, nullptr, false},
      {{"/?"}, Action::kHelp, nullptr, false},
      {{"--", "/?"}, Action::kRun, "/?", false},
      {{"-v"}, Action::kVersion, nullptr, false},
      {{"--version"}, Action::kVersion, nullptr, false},
      {{"a", "b"}, Action::kUsageError, nullptr, false},
      {{""}, Action::kUsageError, nullptr, false},
      {{"--frobnicate"}, Action::kUsageError, nullptr, false},
      {{"--chose"}, Action::kUsageError, nullptr, false},
      // The desktop entry and the Start-menu shortcut, and the file a file manager adds.
      {{"--choose"}, Action::kRun, nullptr, true},
      {{"--choose", chinese}, Action::kRun, chinese.c_str(), true},
      {{"--choose", "a", "b"}, Action::kUsageError, nullptr, false},
      // Keys, as often as given; a key is never taken for PATH, nor PATH for a key.
      {{"--require-signature", "maker.pub", "QVUpdate.Bin"}, Action::kRun, "QVUpdate.Bin", false},
      {{"--require-signature", "a.pub", "--require-signature", "keys"}, Action::kRun, nullptr,
       false},
      {{"QVUpdate.Bin", "--require-signature"}, Action::kUsageError, nullptr, false},
      {{"--require-signature", ""}, Action::kUsageError, nullptr, false},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const std::string& argument : c.arguments) name += "[" + argument + "]";
    const WizardCommandLine parsed = ParseWizardCommandLine(c.arguments);
    EXPECT_EQ(parsed.action, c.action) << name;
    if (c.action == Action::kUsageError) {
      EXPECT_FALSE(parsed.error.empty()) << name;
      continue;
    }
    EXPECT_EQ(parsed.choose, c.choose) << name;
    if (c.path == nullptr) {
      EXPECT_FALSE(parsed.package_location.has_value()) << name;
    } else {
      ASSERT_TRUE(parsed.package_location.has_value()) << name;
      EXPECT_EQ(*parsed.package_location, PathFromUtf8(c.path)) << name;
    }
  }
}

TEST(WizardCommandLine, KeepsEveryRequiredKeyInOrder) {
  const WizardCommandLine parsed = ParseWizardCommandLine(
      {"--require-signature", "a.pub", "--choose", "--require-signature", "/etc/keys"});
  EXPECT_EQ(parsed.required_keys, (std::vector<std::string>{"a.pub", "/etc/keys"}));
  EXPECT_TRUE(ParseWizardCommandLine({}).required_keys.empty());
}

TEST(WizardPackagePaths, TheProgramFolderAFolderOrAFile) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / PathFromUtf8("qv wizard \xE4\xB8\xAD");
  std::filesystem::create_directories(folder);
  const std::filesystem::path program = PathFromUtf8("/opt/QV Updater");

  const PackagePaths beside = WizardPackagePaths(std::nullopt, program);
  EXPECT_EQ(beside.package, program / "QVUpdate.Bin");
  EXPECT_EQ(beside.readme, program / "readme.txt");

  const PackagePaths in_folder = WizardPackagePaths(folder, program);
  EXPECT_EQ(in_folder.package, folder / "QVUpdate.Bin");
  EXPECT_EQ(in_folder.readme, folder / "readme.txt");

  // A file under any name, or a path that is not there: the readme beside it.
  const PackagePaths file = WizardPackagePaths(folder / "downloaded.Bin", program);
  EXPECT_EQ(file.package, folder / "downloaded.Bin");
  EXPECT_EQ(file.readme, folder / "readme.txt");

  std::filesystem::remove_all(folder);
}

// Wrapped for a terminal, every paragraph line fits; the options and the system's own words
// are there either way.
TEST(WizardHelp, WrapsForATerminalAndNamesEveryOption) {
  const WizardHelpPlace place{.way_in = "The menu starts it so.",
                              .trusted_keys = "/etc/keys",
                              .toolkit_options = "Qt too.",
                              .width = 80};
  const std::string help = WizardHelpText(place);
  std::size_t start = 0;
  while (start < help.size()) {
    std::size_t end = help.find('\n', start);
    if (end == std::string::npos) end = help.size();
    EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
    start = end + 1;
  }
  for (const char* part : {kWizardUsage, "--choose", "--require-signature", "--help",
                           "--version", "menu starts it so.", "/etc/keys", "Qt too."}) {
    EXPECT_NE(help.find(part), std::string::npos) << part;
  }
  const std::string unwrapped = WizardHelpText({.way_in = "", .toolkit_options = "", .width = 0});
  EXPECT_NE(unwrapped.find("guided by a three-page wizard"), std::string::npos);
}

}  // namespace
}  // namespace qv
