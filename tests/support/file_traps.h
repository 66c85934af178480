#pragma once

// What can lie where a program expects a file, made for a test: each one once blocked an open,
// never ended a read, or was taken for a file. Linux has all of them; Windows has a directory,
// the NUL device and, where the system lets this user make them, symbolic links. A kind that
// cannot be made here comes with the reason, for the test to skip its case with.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv::test {

enum class SpecialFile {
  kFifo,
  kCharDevice,  // a node of the zero device (Windows: the NUL device): endless bytes or none
  kDirectory,
  kDanglingSymlink,
  kLoopingSymlink,
  kUnreadable,  // a regular file its user may not read; only meaningful for an unprivileged user
};

inline constexpr std::array<SpecialFile, 6> kSpecialFiles = {
    SpecialFile::kFifo,           SpecialFile::kCharDevice,     SpecialFile::kDirectory,
    SpecialFile::kDanglingSymlink, SpecialFile::kLoopingSymlink, SpecialFile::kUnreadable};

// The user whose rights the unreadable case is tried with when the tests run as root (Linux).
inline constexpr unsigned kUnprivilegedId = 65534;

inline const char* SpecialFileName(SpecialFile kind) {
  switch (kind) {
    case SpecialFile::kFifo:
      return "fifo";
    case SpecialFile::kCharDevice:
      return "character device";
    case SpecialFile::kDirectory:
      return "directory";
    case SpecialFile::kDanglingSymlink:
      return "dangling symlink";
    case SpecialFile::kLoopingSymlink:
      return "looping symlink";
    case SpecialFile::kUnreadable:
      return "unreadable file";
  }
  return "?";
}

// The system's reason a reader gives for each kind.
[[nodiscard]] std::string SpecialFileReason(SpecialFile kind);

// Whether a case needs the special file at the very path (a file the program looks for by its
// name, such as the readme beside the package), or takes it wherever it is (a path the program
// is given). Windows' NUL device exists under its own name only.
enum class Placement { kAtThePath, kAnywhere };

struct PlacedSpecialFile {
  std::filesystem::path path;  // where it is: the path asked for, or the device's own name
  std::string skip;            // "" when made, else why this system cannot make it here
};

// Puts the kind at path (or, with kAnywhere, where the system has it).
[[nodiscard]] PlacedSpecialFile PlaceSpecialFile(SpecialFile kind,
                                                 const std::filesystem::path& path,
                                                 Placement placement = Placement::kAtThePath);

// A FIFO (a named pipe in the file system) at path: "" when made, else why not (Windows has
// none).
[[nodiscard]] std::string MakeFifo(const std::filesystem::path& path);
// A symbolic link at link to target: "" when made, else why not (Windows lets only privileged
// users or developer mode make one).
[[nodiscard]] std::string MakeSymlink(const std::filesystem::path& target,
                                      const std::filesystem::path& link);
// "" where this user may make symbolic links in the folder, else why not: Linux always lets
// one; Windows only a privileged user or developer mode (tried once in the folder).
[[nodiscard]] std::string SymlinksUnavailable(const std::filesystem::path& folder);
// A character device that endless bytes come from or go to: the Linux node named (/dev/zero,
// /dev/full); on Windows the NUL device, the one it has.
[[nodiscard]] std::filesystem::path CharacterDevice(const std::filesystem::path& linux_node);

// Reasons the system gives for a file it could not open, in its own words.
enum class SystemReason { kNoSuchFile, kNoSuchFolder, kPermissionDenied };
[[nodiscard]] std::string SystemReasonText(SystemReason reason);

// Every entry under a folder with its kind, size, time and link target: what a command left
// changed. Symlinks are listed, never followed.
[[nodiscard]] std::map<std::string, std::string> FolderSnapshot(
    const std::filesystem::path& folder);

// Whether this process may make a file belong to another user (Linux, as root); Windows has no
// such change of owner for a test to make.
[[nodiscard]] bool CanGiveToAnotherUser();
// Makes the file belong to another user, as a file planted by someone else would; whether done.
[[nodiscard]] bool GiveToAnotherUser(const std::filesystem::path& path);

// The words that run a program as the unprivileged user (Linux, when the tests run as root: the
// unreadable case means something only to a user without root's rights); none elsewhere.
[[nodiscard]] std::vector<std::string> UnprivilegedLauncher();

// Makes this thread reach files with an unprivileged user's rights while it lives (Linux: the
// file-system user id is per thread, and leaving 0 drops root's right to read any file).
// Nothing changes when the test already runs unprivileged, nor on Windows, where the
// unreadable case is not made.
class UnprivilegedFileAccess {
 public:
  UnprivilegedFileAccess();
  ~UnprivilegedFileAccess();
  UnprivilegedFileAccess(const UnprivilegedFileAccess&) = delete;
  UnprivilegedFileAccess& operator=(const UnprivilegedFileAccess&) = delete;

 private:
  bool was_root_ = false;
};

// Ends the whole test program when a case has not finished in time: a read that blocks for
// ever must fail the run, not stall it.
class Watchdog {
 public:
  Watchdog(std::string what, std::chrono::seconds limit)
      : what_(std::move(what)), thread_([this, limit] { Watch(limit); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    ended_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  void Watch(std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    if (ended_.wait_for(lock, limit, [this] { return done_; })) return;
    std::fprintf(stderr, "hung: %s did not end within %lld s\n", what_.c_str(),
                 static_cast<long long>(limit.count()));
    std::fflush(stderr);
    std::_Exit(124);
  }

  std::string what_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace qv::test
