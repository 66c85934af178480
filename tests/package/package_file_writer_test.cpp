#include "package/package_file_writer.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "package_fixture.h"
#include "file_traps.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// What the writer says: "" when the file was written, else its failure's message.
std::string WriteAndSay(const fs::path& path, std::span<const uint8_t> bytes,
                        TemporaryNameSource& names) {
  const Result<> written = WritePackageFile(path, bytes, names);
  return written ? std::string() : written.failure().message;
}

// Hands out fixed names in order, so a test knows every name the writer will try.
class ScriptedNames final : public TemporaryNameSource {
 public:
  explicit ScriptedNames(int count) {
    for (int i = 0; i < count; ++i) names.push_back(".out.bin.scripted" + std::to_string(i));
  }
  [[nodiscard]] std::string Next(const std::string& /*output_name*/) override {
    asked.push_back(names.at(asked.size()));
    return asked.back();
  }
  std::vector<std::string> names;
  std::vector<std::string> asked;
};

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

const std::vector<uint8_t> kBytes = {'n', 'e', 'w'};

TEST(PackageFileWriterTest, WritesAndReplacesARegularFileLeavingNothingElse) {
  test::TempFolder dir;
  const fs::path output = dir.path() / "out.bin";
  RandomTemporaryNames names;
  EXPECT_EQ(WriteAndSay(output, kBytes, names), "");
  EXPECT_EQ(FileText(output), "new");
  dir.WriteText("out.bin", "older and longer");
  EXPECT_EQ(WriteAndSay(output, kBytes, names), "");
  EXPECT_EQ(FileText(output), "new");
  EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"out.bin"});
}

TEST(PackageFileWriterTest, TemporaryNamesAreHiddenAndUnpredictable) {
  RandomTemporaryNames names;
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    const std::string name = names.Next("QVUpdate.Bin");
    EXPECT_TRUE(name.starts_with(".QVUpdate.Bin.")) << name;
    EXPECT_TRUE(name.ends_with(".tmp")) << name;
    EXPECT_EQ(name.size(), std::string(".QVUpdate.Bin.").size() + 12 + 4);
    seen.insert(name);
  }
  EXPECT_EQ(seen.size(), 50u);
  EXPECT_LE(names.Next(std::string(300, 'x')).size(), 255u);
}

// Someone who can write to the folder plants symlinks to a victim file at the names the writer
// will pick. None is followed: taken names are skipped, and when all are taken the write fails.
TEST(PackageFileWriterTest, PlantedSymlinksAtTheTemporaryNamesAreNeverFollowed) {
  for (const int planted : {5, kTemporaryNameTries}) {
    SCOPED_TRACE(planted);
    test::TempFolder dir;
    if (const std::string why = test::SymlinksUnavailable(dir.path()); !why.empty()) {
      GTEST_SKIP() << why;
    }
    const fs::path victim = dir.WriteText("victim.txt", "keep me");
    ScriptedNames names(kTemporaryNameTries);
    for (int i = 0; i < planted; ++i) fs::create_symlink(victim, dir.path() / names.names[i]);
    // A dangling one too: following it would create the file it names.
    fs::remove(dir.path() / names.names[0]);
    fs::create_symlink(dir.path() / "created.txt", dir.path() / names.names[0]);

    const fs::path output = dir.path() / "out.bin";
    const std::string error = WriteAndSay(output, kBytes, names);
    EXPECT_EQ(FileText(victim), "keep me");
    EXPECT_FALSE(fs::exists(dir.path() / "created.txt"));
    for (int i = 0; i < planted; ++i) EXPECT_TRUE(fs::is_symlink(dir.path() / names.names[i]));
    if (planted < kTemporaryNameTries) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(FileText(output), "new");
      EXPECT_EQ(names.asked.size(), std::size_t(planted) + 1);
      EXPECT_EQ(Entries(dir.path()).size(), std::size_t(planted) + 2);  // + victim, output
    } else {
      EXPECT_EQ(error, "cannot create a file in the folder of the output: 100 names tried were "
                       "all taken");
      EXPECT_FALSE(fs::exists(output));
    }
  }
}

// What the writer says about an output in a folder that does not exist, and about an output
// under a file as if it were a folder. Linux opens the folder first and says why that failed;
// Windows looks at the output's path first, and its system finds no such path in both cases.
struct UnwritablePathTexts {
  std::string missing_folder;
  std::string under_a_file;
};

UnwritablePathTexts ExpectedUnwritablePathTexts(const fs::path& missing_folder,
                                                const fs::path& under_a_file) {
#ifdef _WIN32
  const std::string no_path = test::SystemReasonText(test::SystemReason::kNoSuchFolder);
  return {"cannot check " + (missing_folder / "out.bin").string() + ": " + no_path,
          "cannot check " + under_a_file.string() + ": " + no_path};
#else
  return {"cannot open the folder " + missing_folder.string() + ": No such file or directory",
          "cannot check " + under_a_file.string() + ": Not a directory"};
#endif
}

// Paths that cannot take a file are reported with the system's reason and leave nothing. (Full
// disks, size limits and read-only folders are run against the real qvupdate.)
TEST(PackageFileWriterTest, PathsThatCannotTakeAFileAreReported) {
  test::TempFolder dir;
  RandomTemporaryNames names;
  const fs::path file = dir.WriteText("file", "x");
  const UnwritablePathTexts texts =
      ExpectedUnwritablePathTexts(dir.path() / "missing", file / "out.bin");
  EXPECT_EQ(WriteAndSay(dir.path() / "missing" / "out.bin", kBytes, names),
            texts.missing_folder);
  EXPECT_EQ(WriteAndSay(dir.path() / "", kBytes, names),
            (dir.path() / "").string() + " names a folder, not a file");
  EXPECT_EQ(WriteAndSay(file / "out.bin", kBytes, names), texts.under_a_file);
  EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"file"});
}

}  // namespace
}  // namespace qv
