// The holder of a named mutex (an abstract unix socket bound to the name) as Linux shows it:
// /proc/net/unix gives the socket's inode, and the process that has a descriptor for that inode
// is its holder. Only the processes whose descriptors this user may read are looked at.

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/lock_holder.h"

namespace qv {
namespace {

// The inode of the abstract socket bound to `name`, or 0.
unsigned long SocketInode(const std::string& name) {
  std::ifstream table("/proc/net/unix");
  std::string line;
  std::getline(table, line);  // the header
  const std::string wanted = "@" + name;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, refs, protocol, flags, type, state, path;
    unsigned long inode = 0;
    if (!(fields >> slot >> refs >> protocol >> flags >> type >> state >> inode >> path)) continue;
    std::string rest;
    if (fields >> rest) continue;  // a name with spaces is never one of ours
    if (path == wanted) return inode;
  }
  return 0;
}

bool AllDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (std::isdigit(static_cast<unsigned char>(*text)) == 0) return false;
  }
  return true;
}

bool HasDescriptorFor(const std::string& pid, const std::string& target) {
  const std::string folder = "/proc/" + pid + "/fd";
  DIR* fds = ::opendir(folder.c_str());
  if (fds == nullptr) return false;  // another user's process: not ours to read
  bool found = false;
  while (!found) {
    const dirent* entry = ::readdir(fds);
    if (entry == nullptr) break;
    if (!AllDigits(entry->d_name)) continue;
    char link[64];
    const std::string path = folder + "/" + entry->d_name;
    const ssize_t length = ::readlink(path.c_str(), link, sizeof link);
    found = length > 0 && static_cast<std::size_t>(length) == target.size() &&
            target.compare(0, target.size(), link, static_cast<std::size_t>(length)) == 0;
  }
  ::closedir(fds);
  return found;
}

std::string ProgramName(const std::string& pid) {
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

}  // namespace

std::optional<LockHolder> FindLockHolder(const std::string& name) {
  const unsigned long inode = SocketInode(name);
  if (inode == 0) return std::nullopt;
  const std::string target = "socket:[" + std::to_string(inode) + "]";
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) return std::nullopt;
  // This process may hold the lock itself (a station holds the run lock for its session): it
  // is never the other process a message names.
  const std::string self = std::to_string(::getpid());
  std::optional<LockHolder> holder;
  while (!holder) {
    const dirent* entry = ::readdir(processes);
    if (entry == nullptr) break;
    if (!AllDigits(entry->d_name)) continue;
    const std::string pid = entry->d_name;
    if (pid == self) continue;
    if (HasDescriptorFor(pid, target)) {
      holder = LockHolder{std::strtoll(pid.c_str(), nullptr, 10), ProgramName(pid)};
    }
  }
  ::closedir(processes);
  return holder;
}

}  // namespace qv
