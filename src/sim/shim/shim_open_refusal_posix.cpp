#include <cerrno>

#include "sim/shim/shim_open_refusal.h"

namespace qv::sim::shim {

std::wstring RefuseOpenAsTheSystemDoes() {
  errno = EACCES;
  return L"Permission denied";
}

}  // namespace qv::sim::shim
