#include <sys/stat.h>

#include <cerrno>

#include "platform/file_text_posix.h"
#include "platform/path_kind.h"
#include "platform/system_reason.h"

namespace qv {

PathKind LookAtPath(const std::filesystem::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return {.is = PathKind::Is::kAbsent};
    return {.is = PathKind::Is::kUnknown, .reason = SystemReason(errno)};
  }
  const FileIdentity identity{static_cast<uint64_t>(info.st_dev),
                              static_cast<uint64_t>(info.st_ino)};
  if (S_ISREG(info.st_mode)) return {.is = PathKind::Is::kRegularFile, .identity = identity};
  return {.is = PathKind::Is::kOther, .reason = NotRegularFileText(info.st_mode),
          .identity = identity};
}

}  // namespace qv
