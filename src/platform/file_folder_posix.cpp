#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_folder.h"
#include "platform/system_reason.h"

namespace qv {
namespace {

int AsDescriptor(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

FileFolder::~FileFolder() {
  if (handle_ >= 0) ::close(AsDescriptor(handle_));
}

bool FileFolder::Open(const std::filesystem::path& path) {
  path_ = path;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    failure_reason_ = SystemReason(errno);
    return false;
  }
  if (handle_ >= 0) ::close(AsDescriptor(handle_));
  handle_ = fd;
  return true;
}

void FileFolder::Remove(const std::filesystem::path& name) {
  (void)::unlinkat(AsDescriptor(handle_), name.c_str(), 0);
}

bool FileFolder::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  const int folder = AsDescriptor(handle_);
  if (::renameat(folder, from.c_str(), folder, to.c_str()) == 0) return true;
  failure_reason_ = SystemReason(errno);
  return false;
}

bool FileFolder::Flush() {
  if (::fsync(AsDescriptor(handle_)) == 0) return true;
  failure_reason_ = SystemReason(errno);
  return false;
}

}  // namespace qv
