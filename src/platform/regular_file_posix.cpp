#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_folder.h"
#include "platform/file_text_posix.h"
#include "platform/regular_file.h"
#include "platform/system_reason.h"

namespace qv {
namespace {

int AsDescriptor(std::intptr_t handle) { return static_cast<int>(handle); }

int OpenFlags(const FileOpenMode& mode) {
  // O_NONBLOCK: opening a FIFO or a terminal would otherwise wait for a peer or a carrier before
  // fstat could tell what it is; a FIFO without a reader is refused at once. It changes nothing
  // for a regular file, and is cleared once the file is known to be one.
  const int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  if (!mode.write) return flags | O_RDONLY;
  // O_NOFOLLOW: a link planted at the path redirects nothing. O_APPEND: every write lands at the
  // end, whatever others appended meanwhile.
  const int write_flags = flags | O_WRONLY | O_NOFOLLOW | O_APPEND;
  switch (mode.creation) {
    case FileCreation::kNever:
      return write_flags;
    case FileCreation::kIfAbsent:
      return write_flags | O_CREAT;
    case FileCreation::kNew:
      return write_flags | O_CREAT | O_EXCL;
  }
  return write_flags;
}

// Why a file to write could not be opened: what is no regular file is named by its kind ("It is
// a FIFO, not a regular file"), the system's reason otherwise. ELOOP: a symbolic link
// (O_NOFOLLOW). ENXIO: a FIFO without a reader (O_NONBLOCK). EISDIR: a directory.
std::string WriteOpenFailure(int folder, const char* path, int error_number) {
  struct stat info {};
  if ((error_number == ELOOP || error_number == ENXIO || error_number == EISDIR) &&
      ::fstatat(folder, path, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode)) {
    return NotRegularFileText(info.st_mode);
  }
  return SystemReason(error_number);
}

}  // namespace

bool RegularFile::Open(const std::filesystem::path& path, const FileOpenMode& mode,
                       const FileFolder* folder) {
  (void)Close();
  failure_reason_.clear();
  open_failure_ = FileOpenFailure::kNone;
  identity_ = {};
  owned_by_this_user_ = true;
  const int at = folder != nullptr ? AsDescriptor(folder->handle_) : AT_FDCWD;
  const mode_t permissions = mode.new_file_open_to_umask ? 0666 : 0644;
  int fd;
  do {
    fd = ::openat(at, path.c_str(), OpenFlags(mode), permissions);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int error = errno;
    open_failure_ = error == EEXIST ? FileOpenFailure::kExists : FileOpenFailure::kOther;
    failure_reason_ = mode.write ? WriteOpenFailure(at, path.c_str(), error) : SystemReason(error);
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    failure_reason_ = SystemReason(errno);
  } else if (!S_ISREG(info.st_mode)) {
    failure_reason_ = NotRegularFileText(info.st_mode);
  }
  if (!failure_reason_.empty()) {
    open_failure_ = FileOpenFailure::kOther;
    ::close(fd);
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  handle_ = fd;
  identity_ = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  owned_by_this_user_ = info.st_uid == ::geteuid();
  return true;
}

std::size_t RegularFile::Read(uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (is_open() && done < size) {
    const ssize_t n = ::read(AsDescriptor(handle_), out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failure_reason_ = SystemReason(errno);
    if (n <= 0) break;  // end of file, or an error that ends the read like one
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool RegularFile::WriteOnce(std::span<const uint8_t> bytes, std::size_t& written) {
  written = 0;
  ssize_t n;
  do {
    n = ::write(AsDescriptor(handle_), bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    failure_reason_ = SystemReason(errno);
    return false;
  }
  written = static_cast<std::size_t>(n);
  return true;
}

bool RegularFile::WriteAll(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    std::size_t written = 0;
    if (!WriteOnce(bytes, written)) return false;
    if (written == 0) {
      failure_reason_ = SystemReason(EIO);
      return false;
    }
    bytes = bytes.subspan(written);
  }
  return true;
}

bool RegularFile::Size(uint64_t& size) {
  struct stat info {};
  if (::fstat(AsDescriptor(handle_), &info) != 0) {
    failure_reason_ = SystemReason(errno);
    return false;
  }
  size = info.st_size < 0 ? 0 : static_cast<uint64_t>(info.st_size);
  return true;
}

uint64_t RegularFile::Length() const {
  struct stat info {};
  if (!is_open() || ::fstat(AsDescriptor(handle_), &info) != 0 || info.st_size < 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

bool RegularFile::CutTo(uint64_t length) {
  if (::ftruncate(AsDescriptor(handle_), static_cast<off_t>(length)) == 0) return true;
  failure_reason_ = SystemReason(errno);
  return false;
}

bool RegularFile::Flush() {
  if (::fsync(AsDescriptor(handle_)) == 0) return true;
  failure_reason_ = SystemReason(errno);
  return false;
}

bool RegularFile::Close() {
  if (!is_open()) return true;
  // The descriptor is gone after close, even when close reports a failure: never closed twice.
  const int result = ::close(AsDescriptor(handle_));
  handle_ = kNoFile;
  if (result == 0) return true;
  failure_reason_ = SystemReason(errno);
  return false;
}

std::FILE* RegularFile::ReleaseToStream() {
  std::FILE* stream = ::fdopen(AsDescriptor(handle_), "a");
  if (stream == nullptr) {
    failure_reason_ = SystemReason(errno);
    (void)Close();
    return nullptr;
  }
  handle_ = kNoFile;
  return stream;
}

FileAppendLock::FileAppendLock(const RegularFile& file) : handle_(file.handle_) {
  int result;
  do {
    result = ::flock(AsDescriptor(handle_), LOCK_EX);
  } while (result != 0 && errno == EINTR);
  locked_ = result == 0;
}

FileAppendLock::~FileAppendLock() {
  if (locked_) ::flock(AsDescriptor(handle_), LOCK_UN);
}

}  // namespace qv
