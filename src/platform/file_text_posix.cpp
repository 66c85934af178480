#include "platform/file_text_posix.h"

#include <sys/stat.h>

namespace qv {

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

std::string NotRegularFileText(unsigned mode) {
  return "It is " + FileKindName(mode) + ", not a regular file";
}

}  // namespace qv
