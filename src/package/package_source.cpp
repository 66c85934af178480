#include "package/package_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qv {

bool FilePackageSource::Open() {
  Close();
  do {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  return fd_ >= 0;
}

std::size_t FilePackageSource::Read(uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (fd_ >= 0 && done < size) {
    const ssize_t n = ::read(fd_, out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of file, or an error that ends the read like one
    done += static_cast<std::size_t>(n);
  }
  return done;
}

uint64_t FilePackageSource::Length() {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

void FilePackageSource::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::size_t MemoryPackageSource::Read(uint8_t* out, std::size_t size) {
  const std::size_t n = std::min(size, bytes_.size() - position_);
  if (n > 0) std::memcpy(out, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

}  // namespace qv
