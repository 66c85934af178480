#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <system_error>

#include "file_traps.h"

namespace qv::test {

std::string SpecialFileReason(SpecialFile kind) {
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

PlacedSpecialFile PlaceSpecialFile(SpecialFile kind, const std::filesystem::path& path,
                                   Placement) {
  std::error_code error;
  int result = 0;
  switch (kind) {
    case SpecialFile::kFifo:
      result = ::mkfifo(path.c_str(), 0666);
      break;
    case SpecialFile::kCharDevice:
      result = ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 5));
      if (result != 0) return {path, "cannot create a device node here (needs root and a dev mount)"};
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
      if (file == nullptr) return {path, "cannot create " + path.string()};
      std::fputs("secret", file);
      std::fclose(file);
      result = ::chmod(path.c_str(), 0);
      break;
    }
  }
  if (result != 0 || error) return {path, "cannot create " + path.string()};
  return {path, {}};
}

std::string MakeFifo(const std::filesystem::path& path) {
  if (::mkfifo(path.c_str(), 0600) != 0) return "cannot create a FIFO at " + path.string();
  return {};
}

std::string MakeSymlink(const std::filesystem::path& target, const std::filesystem::path& link) {
  std::error_code error;
  std::filesystem::create_symlink(target, link, error);
  if (error) return "cannot create a symbolic link: " + error.message();
  return {};
}

std::string SymlinksUnavailable(const std::filesystem::path&) { return {}; }

std::filesystem::path CharacterDevice(const std::filesystem::path& linux_node) {
  return linux_node;
}

std::string SystemReasonText(SystemReason reason) {
  switch (reason) {
    case SystemReason::kNoSuchFile:
    case SystemReason::kNoSuchFolder:
      return "No such file or directory";
    case SystemReason::kPermissionDenied:
      return "Permission denied";
  }
  return "?";
}

namespace {

void AddFolderEntries(const std::filesystem::path& folder, const std::string& prefix,
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

}  // namespace

std::map<std::string, std::string> FolderSnapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> entries;
  AddFolderEntries(folder, "", entries);
  return entries;
}

bool CanGiveToAnotherUser() { return ::geteuid() == 0; }

bool GiveToAnotherUser(const std::filesystem::path& path) {
  return ::chown(path.c_str(), kUnprivilegedId, kUnprivilegedId) == 0;
}

std::vector<std::string> UnprivilegedLauncher() {
  if (::geteuid() != 0) return {};
  const std::string id = std::to_string(kUnprivilegedId);
  return {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
}

UnprivilegedFileAccess::UnprivilegedFileAccess() : was_root_(::geteuid() == 0) {
  if (!was_root_) return;
  ::setfsgid(kUnprivilegedId);
  ::setfsuid(kUnprivilegedId);
}

UnprivilegedFileAccess::~UnprivilegedFileAccess() {
  if (!was_root_) return;
  ::setfsuid(0);
  ::setfsgid(0);
}

}  // namespace qv::test
