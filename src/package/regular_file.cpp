#include "package/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv {

std::string SystemReason(int error_number) {
  char buffer[256] = {};
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  return ::strerror_r(error_number, buffer, sizeof buffer);
}

std::string FileKindName(unsigned mode) {
  switch (mode & S_IFMT) {
    case S_IFREG:
      return "a regular file";
    case S_IFDIR:
      return "a directory";
    case S_IFIFO:
      return "a FIFO";
    case S_IFCHR:
      return "a character device";
    case S_IFBLK:
      return "a block device";
    case S_IFSOCK:
      return "a socket";
    case S_IFLNK:
      return "a symbolic link";
    default:
      return "not a regular file";
  }
}

bool RegularFileReader::Open(const std::filesystem::path& path) {
  Close();
  failure_reason_.clear();
  // O_NONBLOCK: opening a FIFO or a terminal for reading would otherwise wait for a writer or a
  // carrier before fstat could tell what it is. It changes nothing for a regular file.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    failure_reason_ = SystemReason(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    failure_reason_ = SystemReason(errno);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    failure_reason_ = "It is " + FileKindName(st.st_mode) + ", not a regular file";
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

std::size_t RegularFileReader::Read(uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (fd_ >= 0 && done < size) {
    const ssize_t n = ::read(fd_, out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failure_reason_ = SystemReason(errno);
    if (n <= 0) break;  // end of file, or an error that ends the read like one
    done += static_cast<std::size_t>(n);
  }
  return done;
}

uint64_t RegularFileReader::Length() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

void RegularFileReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace qv
