// The real qvupdate against what can lie where it reads or writes a file: special files at the
// package, its readme, an image for build and build's output, and outputs it cannot write. Every
// run has a hard time limit, so a blocking open fails the test instead of stalling it.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "package_fixture.h"
#include "file_traps.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMsgOpen = "Open updata file faile !";
constexpr const char* kMsgNoFile = "No updata file ,please download again !";

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// One folder a case works in, open to every user so the unprivileged runs can write there too;
// the run's own output goes to a second folder, so the first holds only what the case made.
class CaseFolders {
 public:
  CaseFolders() {
    fs::permissions(work_.path(), fs::perms::all);
    fs::permissions(logs_.path(), fs::perms::all);
  }
  [[nodiscard]] const fs::path& work() const { return work_.path(); }
  [[nodiscard]] fs::path Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const fs::path path = work_.Write(name, bytes);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    return path;
  }

  // A shell script beside the run's output, for Run's launcher: it runs qvupdate as "$@".
  [[nodiscard]] fs::path WriteScript(const std::string& text) const {
    return logs_.WriteText("launch.sh", text);
  }

  // Runs qvupdate with the arguments, killed after 30 s; as the unprivileged user when asked
  // and the tests run as root; through the launcher command when one is given. A killed run
  // shows as status 137.
  RunResult Run(const std::string& arguments, bool unprivileged = false,
                const std::string& launcher = {}) const {
    const fs::path out = logs_.path() / "stdout.txt";
    const fs::path err = logs_.path() / "stderr.txt";
    std::string command = "timeout -s KILL 30 ";
    if (unprivileged && ::geteuid() == 0) {
      command += "setpriv --reuid=" + std::to_string(test::kUnprivilegedId) +
                 " --regid=" + std::to_string(test::kUnprivilegedId) + " --clear-groups ";
    }
    if (!launcher.empty()) command += launcher + " ";
    command += std::string(QVUPDATE_PATH) + " " + arguments + " <" + "/dev/null >" +
               out.string() + " 2>" + err.string();
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
  }

 private:
  test::TempDir work_;
  test::TempDir logs_;
};

std::string BuildArguments(const fs::path& output, const fs::path& program) {
  return "build -o " + output.string() + " --program " + program.string() +
         " --program-address 0x40010000 --seed 3";
}

// Each special file at each place qvupdate reads or writes: the run ends in time with the
// loader's message and the system's reason under it, and nothing in the folder changes.
TEST(QvupdateSpecialFilesTest, EveryPlaceRefusesEverySpecialFile) {
  for (const test::SpecialFile kind : test::kSpecialFiles) {
    SCOPED_TRACE(test::SpecialFileName(kind));
    const bool unprivileged = kind == test::SpecialFile::kUnreadable;
    const std::string reason = test::SpecialFileReason(kind);

    {
      SCOPED_TRACE("info: the package");
      CaseFolders folders;
      const fs::path package = folders.work() / "QVUpdate.Bin";
      const std::string skip = test::PlaceSpecialFile(kind, package);
      if (!skip.empty()) {
        std::cout << "[  SKIPPED ] " << test::SpecialFileName(kind) << ": " << skip << "\n";
        continue;
      }
      const auto before = test::FolderSnapshot(folders.work());
      const RunResult info = folders.Run("info " + package.string(), unprivileged);
      EXPECT_EQ(info.status, 1);
      EXPECT_EQ(info.out, "");
      // The file and the reason are said once, under the first message.
      EXPECT_EQ(info.err, std::string(kMsgOpen) + "\n" + package.string() + ": " + reason + "\n" +
                              kMsgNoFile + "\n");
      EXPECT_EQ(test::FolderSnapshot(folders.work()), before);
    }
    {
      SCOPED_TRACE("info: the readme shows nothing, as a missing one");
      CaseFolders folders;
      const fs::path program = folders.Write("program.bin", test::PatternBytes(3000, 1));
      const fs::path package = folders.work() / "QVUpdate.Bin";
      ASSERT_EQ(folders.Run(BuildArguments(package, program)).status, 0);
      ASSERT_EQ(test::PlaceSpecialFile(kind, folders.work() / "readme.txt"), "");
      const auto before = test::FolderSnapshot(folders.work());
      const RunResult info = folders.Run("info " + package.string(), unprivileged);
      EXPECT_EQ(info.status, 0) << info.err;
      EXPECT_EQ(info.err, "");
      const std::string ending = "Check:          ok\nReadme:\n";
      ASSERT_GE(info.out.size(), ending.size());
      EXPECT_EQ(info.out.substr(info.out.size() - ending.size()), ending) << info.out;
      EXPECT_EQ(test::FolderSnapshot(folders.work()), before);
    }
    {
      SCOPED_TRACE("build: the program image");
      CaseFolders folders;
      const fs::path program = folders.work() / "program.bin";
      ASSERT_EQ(test::PlaceSpecialFile(kind, program), "");
      const auto before = test::FolderSnapshot(folders.work());
      const RunResult build =
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
      const fs::path output = folders.work() / "out.bin";
      ASSERT_EQ(test::PlaceSpecialFile(kind, output), "");
      const auto before = test::FolderSnapshot(folders.work());
      const RunResult build = folders.Run(BuildArguments(output, program), unprivileged);
      if (kind == test::SpecialFile::kUnreadable) {
        // A regular file is what an output may be: replaced, whatever its permissions.
        EXPECT_EQ(build.status, 0) << build.err;
        EXPECT_EQ(fs::file_size(output), 1024u + 128u + 3072u);
        continue;
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
  }
}

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
    const RunResult build = folders.Run(BuildArguments(output, program), true);
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
    const RunResult build = folders.Run(BuildArguments(output, program), false, "sh " + script.string());
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
  const RunResult build = folders.Run(BuildArguments(small / "out.bin", program), false,
                                      "unshare -m sh " + script.string());
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
