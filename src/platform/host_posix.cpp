#include <unistd.h>

#include "platform/host.h"

namespace qv {

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

int64_t ProcessId() { return ::getpid(); }

}  // namespace qv
