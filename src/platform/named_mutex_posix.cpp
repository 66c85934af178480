// The machine-wide named mutex as an abstract-namespace unix socket: binding the name claims
// it, EADDRINUSE means another process holds it, and the kernel frees the name when the socket
// closes, also when its holder crashes.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/named_mutex.h"

namespace qv {
namespace {

class SocketMutexHandle final : public NamedMutexHandle {
 public:
  explicit SocketMutexHandle(int fd) : fd_(fd) {}
  ~SocketMutexHandle() override { ::close(fd_); }
  SocketMutexHandle(const SocketMutexHandle&) = delete;
  SocketMutexHandle& operator=(const SocketMutexHandle&) = delete;

 private:
  int fd_;
};

class SocketNamedMutexes final : public NamedMutexSystem {
 public:
  [[nodiscard]] NamedMutexResult Create(const std::string& name) override {
    NamedMutexResult result;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // sun_path[0] stays 0: the abstract namespace. The name is not NUL-terminated there.
    if (name.empty() || name.size() > sizeof(address.sun_path) - 1) return result;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());

    // Close-on-exec, so that a program started by the holder does not keep the name alive.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return result;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EADDRINUSE) result.status = NamedMutexStatus::kAlreadyExists;
      return result;
    }
    result.status = NamedMutexStatus::kCreated;
    result.handle = std::make_unique<SocketMutexHandle>(fd);
    return result;
  }

  [[nodiscard]] std::optional<LockHolder> Holder(const std::string& name) override {
    return FindLockHolder(name);
  }
};

}  // namespace

NamedMutexSystem& SystemNamedMutexes() {
  static SocketNamedMutexes mutexes;
  return mutexes;
}

}  // namespace qv
