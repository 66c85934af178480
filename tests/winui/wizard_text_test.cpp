// The Windows wizard's own text and path rules: how the package's information text reaches the
// edit box, and what the command line asks for.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "winui/welcome_text_win32.h"
#include "winui/wizard_command_line.h"

namespace qv::winui {
namespace {

struct TextCase {
  const char* name;
  std::string bytes;
  std::wstring shown;
};

TEST(InformationText, DecodesAndEndsEveryLineAsTheEditBoxNeeds) {
  const std::vector<TextCase> cases = {
      {"empty", "", L""},
      {"UTF-8", "caf\xC3\xA9", L"caf\u00E9"},
      // Not UTF-8, but the Chinese code page of this device family's readme files.
      {"GB18030", "\xD6\xD0\xCE\xC4", L"\u4E2D\u6587"},
      // Neither: every byte stands for itself.
      {"Latin-1", "\xFF\x41\xFE", L"\u00FF\u0041\u00FE"},
      {"line ends", "a\nb\r\nc\rd\r", L"a\r\nb\r\nc\r\nd\r\n"},
      {"blank lines kept", "\n\r\n\r", L"\r\n\r\n\r\n"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(InformationTextForDisplay(c.bytes), c.shown) << c.name;
  }
}

TEST(WizardCommandLine, ReadsOnePathOrAnOption) {
  using Action = WizardCommandLine::Action;
  struct Case {
    std::vector<std::wstring> arguments;
    Action action;
    bool has_path;
    bool choose;
  };
  const std::vector<Case> cases = {
      {{}, Action::kRun, false, false},
      {{L"D:\\packages\\\u4E2D.Bin"}, Action::kRun, true, false},
      {{L"--help"}, Action::kHelp, false, false},
      {{L"/?"}, Action::kHelp, false, false},
      {{L"-v"}, Action::kVersion, false, false},
      {{L"a", L"b"}, Action::kUsageError, false, false},
      {{L""}, Action::kUsageError, false, false},
      // The Start-menu shortcut, and a file dropped on it (Explorer adds the file's path).
      {{L"--choose"}, Action::kRun, false, true},
      {{L"--choose", L"D:\\packages\\\u4E2D.Bin"}, Action::kRun, true, true},
      {{L"--choose", L"a", L"b"}, Action::kUsageError, false, true},
      {{L"--chose"}, Action::kUsageError, false, false},
  };
  for (const Case& c : cases) {
    const WizardCommandLine parsed = ParseWizardCommandLine(c.arguments);
    EXPECT_EQ(parsed.action, c.action) << c.arguments.size();
    EXPECT_EQ(parsed.package_location.has_value(), c.has_path) << c.arguments.size();
    EXPECT_EQ(parsed.choose, c.choose) << c.arguments.size();
  }
  EXPECT_EQ(ParseWizardCommandLine({L"D:\\packages\\\u4E2D.Bin"}).package_location->wstring(),
            L"D:\\packages\\\u4E2D.Bin");
}

TEST(WizardPackagePaths, TheProgramFolderAFolderOrAFile) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / L"qv winui \u4E2D";
  std::filesystem::create_directories(folder);
  const std::filesystem::path program = L"C:\\Program Files\\QV Updater";

  const PackagePaths beside = WizardPackagePaths(std::nullopt, program);
  EXPECT_EQ(beside.package, program / "QVUpdate.Bin");
  EXPECT_EQ(beside.readme, program / "readme.txt");

  const PackagePaths in_folder = WizardPackagePaths(folder, program);
  EXPECT_EQ(in_folder.package, folder / "QVUpdate.Bin");
  EXPECT_EQ(in_folder.readme, folder / "readme.txt");

  // A file under any name, or a path that is not there: the readme beside it.
  const PackagePaths file = WizardPackagePaths(folder / L"downloaded.Bin", program);
  EXPECT_EQ(file.package, folder / L"downloaded.Bin");
  EXPECT_EQ(file.readme, folder / "readme.txt");

  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace qv::winui
