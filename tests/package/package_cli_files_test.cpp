// The real qvupdate against what can lie where it reads or writes a file: special files at the
// package, its readme, an image for build and build's output, and outputs it cannot write. Every
// run has a hard time limit, so a blocking open fails the test instead of stalling it. The
// outputs that cannot be written are tried in package_cli_files_posix_test.cpp.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "file_traps.h"
#include "package_fixture.h"
#include "qvupdate_case_folders.h"
#include "system_skips.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;
using test::BuildArguments;
using test::CaseFolders;
using test::Placement;

constexpr const char* kMsgOpen = "Open updata file faile !";
constexpr const char* kMsgNoFile = "No updata file ,please download again !";


// Each special file at each place qvupdate reads or writes: the run ends in time with the
// loader's message and the system's reason under it, and nothing in the folder changes.
class QvupdateSpecialFileTest : public ::testing::TestWithParam<test::SpecialFile> {};

TEST_P(QvupdateSpecialFileTest, EveryPlaceRefusesIt) {
  const test::SpecialFile kind = GetParam();
  std::string left_out;  // a place this system cannot put the kind at
  const bool unprivileged = kind == test::SpecialFile::kUnreadable;
  const std::string reason = test::SpecialFileReason(kind);

  {
    SCOPED_TRACE("info: the package");
    CaseFolders folders;
    const test::PlacedSpecialFile placed =
        test::PlaceSpecialFile(kind, folders.work() / "QVUpdate.Bin", Placement::kAnywhere);
    if (!placed.skip.empty()) GTEST_SKIP() << placed.skip;
    const fs::path& package = placed.path;
    const auto before = test::FolderSnapshot(folders.work());
    const test::ProgramRun info = folders.Run({"info", package.string()}, unprivileged);
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.out, "");
    // The file and the reason are said once, under the first message.
    EXPECT_EQ(info.err, std::string(kMsgOpen) + "\n" + package.string() + ": " + reason + "\n" +
                            kMsgNoFile + "\n");
    EXPECT_EQ(test::FolderSnapshot(folders.work()), before);
  }
  [&] {
    SCOPED_TRACE("info: the readme shows nothing, as a missing one");
    CaseFolders folders;
    const fs::path program = folders.Write("program.bin", test::PatternBytes(3000, 1));
    const fs::path package = folders.work() / "QVUpdate.Bin";
    ASSERT_EQ(folders.Run(BuildArguments(package, program)).status, 0);
    // The readme is looked for by its name beside the package: it must be at that path.
    const std::string skip = test::PlaceSpecialFile(kind, folders.work() / "readme.txt").skip;
    if (!skip.empty()) {
      left_out = "the readme: " + skip;
      return;
    }
    const auto before = test::FolderSnapshot(folders.work());
    const test::ProgramRun info = folders.Run({"info", package.string()}, unprivileged);
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.err, "");
    const std::string ending = "Check:          ok\nReadme:\n";
    ASSERT_GE(info.out.size(), ending.size());
    EXPECT_EQ(info.out.substr(info.out.size() - ending.size()), ending) << info.out;
    EXPECT_EQ(test::FolderSnapshot(folders.work()), before);
  }();
  {
    SCOPED_TRACE("build: the program image");
    CaseFolders folders;
    const test::PlacedSpecialFile placed =
        test::PlaceSpecialFile(kind, folders.work() / "program.bin", Placement::kAnywhere);
    ASSERT_EQ(placed.skip, "");
    const fs::path& program = placed.path;
    const auto before = test::FolderSnapshot(folders.work());
    const test::ProgramRun build =
        folders.Run(BuildArguments(folders.work() / "out.bin", program), unprivileged);
    EXPECT_EQ(build.status, 1);
    EXPECT_EQ(build.err, "qvupdate build: cannot read the program file " + program.string() +
                             "\n" + reason + "\n");
    EXPECT_EQ(test::FolderSnapshot(folders.work()), before);
  }
  {
    SCOPED_TRACE("build: the output");
    CaseFolders folders;
    const fs::path program = folders.Write("program.bin", test::PatternBytes(3000, 1));
    const test::PlacedSpecialFile placed =
        test::PlaceSpecialFile(kind, folders.work() / "out.bin", Placement::kAnywhere);
    ASSERT_EQ(placed.skip, "");
    const fs::path& output = placed.path;
    const auto before = test::FolderSnapshot(folders.work());
    const test::ProgramRun build = folders.Run(BuildArguments(output, program), unprivileged);
    if (kind == test::SpecialFile::kUnreadable) {
      // A regular file is what an output may be: replaced, whatever its permissions.
      EXPECT_EQ(build.status, 0) << build.err;
      EXPECT_EQ(fs::file_size(output), 1024u + 128u + 3072u);
      return;
    }
    const char* what = kind == test::SpecialFile::kFifo          ? "a FIFO"
                       : kind == test::SpecialFile::kCharDevice  ? "a character device"
                       : kind == test::SpecialFile::kDirectory   ? "a directory"
                                                                 : "a symbolic link";
    EXPECT_EQ(build.status, 1);
    EXPECT_EQ(build.out, "");
    EXPECT_EQ(build.err, "qvupdate build: " + output.string() + " is " + what +
                             ", not a regular file: it is left as it is\n");
    EXPECT_EQ(test::FolderSnapshot(folders.work()), before);
  }
  if (!left_out.empty()) GTEST_SKIP() << left_out;
}

INSTANTIATE_TEST_SUITE_P(EveryKind, QvupdateSpecialFileTest,
                         ::testing::ValuesIn(test::kSpecialFiles), test::SpecialFileTestName);

}  // namespace
}  // namespace qv::cli
