#include "platform/file_text_posix.h"

#include <sys/stat.h>

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

}  // namespace qv
