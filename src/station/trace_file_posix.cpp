#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "station/trace_file.h"
#include "station/write_open_posix.h"

namespace qv::station {
namespace {

constexpr int kCommonFlags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

}  // namespace

std::FILE* OpenTraceFile(const std::string& path, const std::optional<FileIdentity>& record,
                         std::string& error) {
  int fd = ::open(path.c_str(), kCommonFlags | O_CREAT | O_EXCL, 0644);
  if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), kCommonFlags | O_APPEND);
  if (fd < 0) {
    error = WriteOpenFailure(path, errno);
    return nullptr;
  }
  struct stat info {};
  const bool known = ::fstat(fd, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    error = NotRegularFile(info.st_mode);
  } else if (info.st_uid != ::geteuid()) {
    error = kNotOwnFile;
  } else if (record && *record == FileIdentity{static_cast<uint64_t>(info.st_dev),
                                                    static_cast<uint64_t>(info.st_ino)}) {
    error = kTraceIsRecord;
  } else {
    // Appending from here on; the descriptor was opened for it or is new and empty.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, (flags & ~O_NONBLOCK) | O_APPEND);
    std::FILE* file = ::fdopen(fd, "a");
    if (file != nullptr) return file;
    error = std::strerror(errno);
  }
  ::close(fd);
  return nullptr;
}

}  // namespace qv::station
