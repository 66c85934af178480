#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "package/regular_file.h"
#include "platform/file_text_posix.h"

namespace qv {

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
  handle_ = fd;
  return true;
}

std::size_t RegularFileReader::Read(uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (handle_ >= 0 && done < size) {
    const ssize_t n = ::read(static_cast<int>(handle_), out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failure_reason_ = SystemReason(errno);
    if (n <= 0) break;  // end of file, or an error that ends the read like one
    done += static_cast<std::size_t>(n);
  }
  return done;
}

uint64_t RegularFileReader::Length() const {
  struct stat st {};
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &st) != 0 || st.st_size < 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

void RegularFileReader::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = kNoFile;
}

}  // namespace qv
