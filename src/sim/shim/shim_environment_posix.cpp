#include <cstdlib>

#include "sim/shim/shim_environment.h"

namespace qv::sim::shim {

const char* ShimEnvironment(const char* name) {
  return std::getenv(name);
}

}  // namespace qv::sim::shim
