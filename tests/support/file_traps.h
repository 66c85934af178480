#pragma once

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace qv::test {

// What can lie where a program expects a file it reads: each one once blocked an open, never
// ended a read, or was taken for a file.
enum class SpecialFile {
  kFifo,
  kCharDevice,  // a node of the zero device: endless bytes if anything reads it
  kDirectory,
  kDanglingSymlink,
  kLoopingSymlink,
  kUnreadable,  // a regular file its user may not read; only meaningful for an unprivileged user
};

inline constexpr std::array<SpecialFile, 6> kSpecialFiles = {
    SpecialFile::kFifo,           SpecialFile::kCharDevice,     SpecialFile::kDirectory,
    SpecialFile::kDanglingSymlink, SpecialFile::kLoopingSymlink, SpecialFile::kUnreadable};

// The user whose rights the unreadable case is tried with when the tests run as root.
inline constexpr uid_t kUnprivilegedId = 65534;

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
inline const char* SpecialFileReason(SpecialFile kind) {
  switch (kind) {
    case SpecialFile::kFifo:
      return "It is a FIFO, not a regular file";
    case SpecialFile::kCharDevice:
      return "It is a character device, not a regular file";
    case SpecialFile::kDirectory:
      return "It is a directory, not a regular file";
    case SpecialFile::kDanglingSymlink:
      return "No such file or directory";
    case SpecialFile::kLoopingSymlink:
      return "Too many levels of symbolic links";
    case SpecialFile::kUnreadable:
      return "Permission denied";
  }
  return "?";
}

// Puts the kind at path. "" when done, else why this machine cannot make it (a reason to skip).
inline std::string PlaceSpecialFile(SpecialFile kind, const std::filesystem::path& path) {
  std::error_code error;
  int result = 0;
  switch (kind) {
    case SpecialFile::kFifo:
      result = ::mkfifo(path.c_str(), 0666);
      break;
    case SpecialFile::kCharDevice:
      result = ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 5));
      if (result != 0) return "cannot create a device node here (needs root and a dev mount)";
      break;
    case SpecialFile::kDirectory:
      std::filesystem::create_directory(path, error);
      break;
    case SpecialFile::kDanglingSymlink:
      std::filesystem::create_symlink(path.string() + ".absent", path, error);
      break;
    case SpecialFile::kLoopingSymlink:
      std::filesystem::create_symlink(path.filename(), path, error);
      break;
    case SpecialFile::kUnreadable: {
      std::FILE* file = std::fopen(path.c_str(), "w");
      if (file == nullptr) return "cannot create " + path.string();
      std::fputs("secret", file);
      std::fclose(file);
      result = ::chmod(path.c_str(), 0);
      break;
    }
  }
  if (result != 0 || error) return "cannot create " + path.string();
  return {};
}

// Every entry under a folder with its kind, size, time and link target: what a command left
// changed. Symlinks are listed, never followed.
inline void AddFolderEntries(const std::filesystem::path& folder, const std::string& prefix,
                             std::map<std::string, std::string>& entries) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    struct stat st {};
    if (::lstat(entry.path().c_str(), &st) != 0) continue;
    std::string what = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                       std::to_string(st.st_mtim.tv_sec) + "." +
                       std::to_string(st.st_mtim.tv_nsec);
    if (S_ISLNK(st.st_mode)) what += " -> " + std::filesystem::read_symlink(entry.path()).string();
    const std::string name = prefix + entry.path().filename().string();
    entries[name] = what;
    if (S_ISDIR(st.st_mode)) AddFolderEntries(entry.path(), name + "/", entries);
  }
}

inline std::map<std::string, std::string> FolderSnapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> entries;
  AddFolderEntries(folder, "", entries);
  return entries;
}

// Makes this thread reach files with an unprivileged user's rights while it lives (the
// file-system user id is per thread, and leaving 0 drops root's right to read any file).
// Nothing changes when the test already runs unprivileged.
class UnprivilegedFileAccess {
 public:
  UnprivilegedFileAccess() : was_root_(::geteuid() == 0) {
    if (!was_root_) return;
    ::setfsgid(kUnprivilegedId);
    ::setfsuid(kUnprivilegedId);
  }
  ~UnprivilegedFileAccess() {
    if (!was_root_) return;
    ::setfsuid(0);
    ::setfsgid(0);
  }
  UnprivilegedFileAccess(const UnprivilegedFileAccess&) = delete;
  UnprivilegedFileAccess& operator=(const UnprivilegedFileAccess&) = delete;

 private:
  bool was_root_;
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
