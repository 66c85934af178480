// The real qvupdate against outputs it cannot write: a folder its user may not write to, a file
// size limit and a file system that is full. Each needs what POSIX has: a user without root's
// rights, ulimit and a private mount.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "package_fixture.h"
#include "qvupdate_case_folders.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;
using test::BuildArguments;
using test::CaseFolders;

// Outputs that cannot be written: the failure is reported with the system's reason, the exit
// status is 1 and the folder holds what it held before, with no temporary file.
TEST(QvupdateSpecialFilesTest, OutputThatCannotBeWrittenFailsAndLeavesNothing) {
  CaseFolders folders;
  const fs::path program = folders.Write("program.bin", test::PatternBytes(5000, 1));
  const fs::path output = folders.work() / "out.bin";
  (void)folders.Write("out.bin", {1, 2, 3});
  const auto before = test::FolderSnapshot(folders.work());

  {
    SCOPED_TRACE("a folder its user may not write to (root tries it as an unprivileged user)");
    const auto read_only = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read |
                           fs::perms::others_exec;
    fs::permissions(folders.work(), read_only);
    const test::ProgramRun build = folders.Run(BuildArguments(output, program), true);
    fs::permissions(folders.work(), fs::perms::all);
    EXPECT_EQ(build.status, 1);
    EXPECT_EQ(build.err,
              "qvupdate build: cannot create a file in the folder of the output: "
              "Permission denied\n");
    EXPECT_EQ(test::FolderSnapshot(folders.work()), before);
  }
  {
    SCOPED_TRACE("a file size limit: the disk is full after the first KiB");
    const fs::path script = folders.WriteScript("trap '' XFSZ\nulimit -f 2\nexec \"$@\"\n");
    const test::ProgramRun build =
        folders.Run(BuildArguments(output, program), false, {"/bin/sh", script.string()});
    EXPECT_EQ(build.status, 1);
    EXPECT_EQ(build.err, "qvupdate build: cannot write " + output.string() + ": File too large\n");
    EXPECT_EQ(test::FolderSnapshot(folders.work()), before);
  }
}

// A file system that is really full: a 4 KiB one mounted for the run alone, in a mount
// namespace of its own, so nothing outside the run sees it.
TEST(QvupdateSpecialFilesTest, FullDiskFailsAndLeavesNothing) {
  CaseFolders folders;
  const fs::path program = folders.Write("program.bin", test::PatternBytes(5000, 1));
  const fs::path small = folders.work() / "small";
  fs::create_directory(small);
  // The build's status, then what it left in the small file system before the mount goes.
  const fs::path script = folders.WriteScript(
      "mount -t tmpfs -o size=4k tmpfs " + small.string() + " || exit 77\n\"$@\"\n" +
      "status=$?\nls -A " + small.string() + "\nexit $status\n");
  const test::ProgramRun build =
      folders.Run(BuildArguments(small / "out.bin", program), false,
                  {"/usr/bin/unshare", "-m", "/bin/sh", script.string()});
  if (build.status == 77 || build.err.starts_with("unshare:")) {
    GTEST_SKIP() << "no private mount of a small file system here: " << build.err;
  }
  EXPECT_EQ(build.status, 1);
  EXPECT_EQ(build.out, "");
  EXPECT_EQ(build.err, "qvupdate build: cannot write " + (small / "out.bin").string() +
                           ": No space left on device\n");
  EXPECT_TRUE(fs::is_empty(small));
}

}  // namespace
}  // namespace qv::cli
