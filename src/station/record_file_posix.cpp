#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_text_posix.h"
#include "station/record_file.h"
#include "station/write_open_posix.h"

namespace qv::station {
namespace {

ssize_t WriteOnce(int fd, const std::string& line) {
  ssize_t written;
  do {
    written = ::write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  return written;
}

int AsDescriptor(std::intptr_t handle) { return static_cast<int>(handle); }

// Holds the advisory lock that stations appending to one record share, so that the length a
// failed line is cut back to is the length before that very line.
class AppendLock {
 public:
  explicit AppendLock(int fd) : fd_(fd) {
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~AppendLock() { ::flock(fd_, LOCK_UN); }
  AppendLock(const AppendLock&) = delete;
  AppendLock& operator=(const AppendLock&) = delete;

 private:
  int fd_;
};

}  // namespace

std::string NotRegularFile(unsigned mode) {
  return "It is " + FileKindName(mode) + ", not a regular file";
}

std::string WriteOpenFailure(const std::string& path, int error_number) {
  // ELOOP: the path is a symbolic link (O_NOFOLLOW). ENXIO: a FIFO without a reader (O_NONBLOCK).
  // EISDIR: a directory.
  struct stat info {};
  if ((error_number == ELOOP || error_number == ENXIO || error_number == EISDIR) && ::lstat(path.c_str(), &info) == 0 &&
      !S_ISREG(info.st_mode)) {
    return NotRegularFile(info.st_mode);
  }
  return SystemReason(error_number);
}

RecordFile::~RecordFile() {
  if (is_open()) ::close(AsDescriptor(handle_));
}

bool RecordFile::Open(const std::string& path, std::string& error) {
  // O_NONBLOCK: a FIFO without a reader fails at once instead of blocking the station before it
  // has said anything. O_NOFOLLOW: a link planted at the record's path redirects nothing.
  const int fd = ::open(path.c_str(),
                        O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) {
    error = WriteOpenFailure(path, errno);
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error = NotRegularFile(info.st_mode);
    ::close(fd);
    return false;
  }
  handle_ = fd;
  identity_ = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return true;
}

bool RecordFile::Append(const UnitRecord& record, std::string& error) {
  return AppendLine(UnitRecordLine(record), error);
}

bool RecordFile::AppendLine(const std::string& line, std::string& error) {
  AppendLock lock(AsDescriptor(handle_));
  struct stat before {};
  if (::fstat(AsDescriptor(handle_), &before) != 0) {
    error = std::strerror(errno);
    return false;
  }
  // One write: with O_APPEND the line lands at the end. A short write is never continued, so
  // no line is ever split between two writes; it is cut off again instead.
  const ssize_t written = WriteOnce(AsDescriptor(handle_), line);
  if (written < 0 || static_cast<size_t>(written) != line.size()) {
    error = written < 0 ? std::strerror(errno) : "short write (disk full?)";
    if (written > 0 && ::ftruncate(AsDescriptor(handle_), before.st_size) != 0) {
      error += std::string("; the cut line could not be removed: ") + std::strerror(errno);
    }
    return false;
  }
  if (::fsync(AsDescriptor(handle_)) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace qv::station
